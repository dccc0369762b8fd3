// The HTTP library (libcurl) is loaded by the first exchange with the score server, not at
// start-up: with its TLS, Kerberos and LDAP libraries it weighs some thirty libraries that most
// games never use. The program calls libcurl's functions by their own names; in the program
// they load the library when first called. curl_global_init is called first, on the UI thread,
// and fails without the library, as curl_easy_init does: the exchange then fails as without a
// network.
#pragma once

// Makes libcurl's functions callable; false, and none but curl_global_init and curl_easy_init
// may be called, when it cannot be loaded. Loading again changes nothing.
bool LoadCurlLibrary();
