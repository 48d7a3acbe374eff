# The demo vendor's update signing key pair, made once per build folder by
# the packer ("imepack keygen PRIVATE PUBLIC") and kept: the demo installer
# carries the public half, the demo update server's lists are signed with
# the private half. Called with -D IMEPACK, PRIVATE_KEY, PUBLIC_KEY. Without
# a packer there is nothing to make it with: the build stays green.
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${IMEPACK}")
  return()
endif()
if(EXISTS "${PRIVATE_KEY}" AND EXISTS "${PUBLIC_KEY}")
  return()
endif()
file(REMOVE "${PRIVATE_KEY}" "${PUBLIC_KEY}")
get_filename_component(key_dir "${PRIVATE_KEY}" DIRECTORY)
file(MAKE_DIRECTORY "${key_dir}")
execute_process(COMMAND "${IMEPACK}" keygen "${PRIVATE_KEY}" "${PUBLIC_KEY}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "imepack keygen failed (${result})")
endif()
