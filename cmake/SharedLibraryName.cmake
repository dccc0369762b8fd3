# The file name by which a shared library is loaded at run time (its SONAME), read from the
# library the build links with: kestrow_shared_library_name(VARIABLE LIBRARY_PATH).
function(kestrow_shared_library_name variable library)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump
    RESULT_VARIABLE failed ERROR_QUIET)
  string(REGEX MATCH "SONAME +([^\n ]+)" found "${dump}")
  if(failed OR NOT found)
    message(FATAL_ERROR "No shared library name in ${library}")
  endif()
  set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
