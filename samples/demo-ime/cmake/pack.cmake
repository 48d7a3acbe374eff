# Packs the demo product folder into the demo installer with the packer:
#   imepack build PRODUCT-FOLDER DESCRIPTION.txt INSTALLER.exe OUT.exe --update-key PUBLIC
# Called with -D IMEPACK, PRODUCT_DIR, PRODUCT_STAMP, DESCRIPTION,
# INSTALLER, UPDATE_KEY (the demo vendor's public key), OUT. Without a packer there is nothing to pack with: say so and
# leave the build green. A failed pack fails the build and leaves no file.
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${IMEPACK}")
  message(NOTICE "demo-ime-setup.exe not packed: no packer at ${IMEPACK} "
                 "(build the native preset first, or set IMEPACK_EXECUTABLE)")
  return()
endif()

set(stale FALSE)
foreach(input IN ITEMS "${PRODUCT_STAMP}" "${DESCRIPTION}" "${INSTALLER}" "${IMEPACK}" "${UPDATE_KEY}")
  if("${input}" IS_NEWER_THAN "${OUT}")
    set(stale TRUE)
  endif()
endforeach()
if(NOT stale)
  return()
endif()

get_filename_component(out_dir "${OUT}" DIRECTORY)
get_filename_component(out_name "${OUT}" NAME_WE)
set(partial "${out_dir}/${out_name}.partial.exe")
file(REMOVE "${partial}")
execute_process(
  COMMAND "${IMEPACK}" build "${PRODUCT_DIR}" "${DESCRIPTION}" "${INSTALLER}" "${partial}" --update-key "${UPDATE_KEY}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${partial}")
  message(FATAL_ERROR "imepack build failed (${result}): ${OUT} not written")
endif()
file(RENAME "${partial}" "${OUT}")
message(STATUS "packed ${OUT}")
