# Hardening of every program in every build type but Debug, so that the tests run what the
# packages ship. The flags are the ones dpkg-buildflags gives a Debian package with every
# hardening feature on (strong stack protector, fortified functions, format checks, full RELRO
# with immediate binding), plus stack clash and control-flow protection where the compiler has
# them and dpkg-buildflags does not add them itself, and position-independent executables.
# Optimisation, debug information and source paths stay with the build type.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

find_program(KESTROW_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

# kestrow_dpkg_buildflags(NAME RESULT): the flags dpkg-buildflags gives for NAME (CPPFLAGS,
# CXXFLAGS, LDFLAGS) with all hardening on, without those the build type chooses.
function(kestrow_dpkg_buildflags name result)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
      ${KESTROW_DPKG_BUILDFLAGS} --get ${name}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|f(file|debug|macro)-prefix-map=.*)$")
  set(${result} ${flags} PARENT_SCOPE)
endfunction()

kestrow_dpkg_buildflags(CPPFLAGS KESTROW_HARDENING_CPPFLAGS)
kestrow_dpkg_buildflags(CXXFLAGS KESTROW_HARDENING_CXXFLAGS)
kestrow_dpkg_buildflags(LDFLAGS KESTROW_HARDENING_LDFLAGS)
set(KESTROW_HARDENING_COMPILE_FLAGS ${KESTROW_HARDENING_CPPFLAGS} ${KESTROW_HARDENING_CXXFLAGS})
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "KESTROW_COMPILER_HAS${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported} AND NOT flag IN_LIST KESTROW_HARDENING_COMPILE_FLAGS)
    list(APPEND KESTROW_HARDENING_COMPILE_FLAGS ${flag})
  endif()
endforeach()
message(STATUS "Hardening (all build types but Debug): ${KESTROW_HARDENING_COMPILE_FLAGS} "
  "${KESTROW_HARDENING_LDFLAGS}")

add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${KESTROW_HARDENING_COMPILE_FLAGS}>")
add_link_options("$<$<NOT:$<CONFIG:Debug>>:${KESTROW_HARDENING_LDFLAGS}>")
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported()
