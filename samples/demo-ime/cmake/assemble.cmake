# Lays out the demo product folder exactly as the installer's package tree
# expects it, from scratch each time so that nothing stale is packed:
#   top level          -> the install folder (the IME file included: the
#                         install copies it into the system folder itself)
#   $system32$ $windows$ -> the system and Windows folders
#   $fonts$            -> the Fonts folder (registered as TrueType fonts)
#   $dataFiles$        -> the product's folder under the common data folder
#
# Called with -D PRODUCT_DIR, STATIC_DIR (the committed files), BINARIES
# (list of built files for the top level), INTERFACE_DLL, FONT, PYTHON,
# CONFIG_GENERATOR, CODE_TABLE, IME_MAIN, SKIN, STAMP.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PRODUCT_DIR}")
file(MAKE_DIRECTORY "${PRODUCT_DIR}")
file(COPY "${STATIC_DIR}/" DESTINATION "${PRODUCT_DIR}")

foreach(binary IN LISTS BINARIES)
  file(COPY "${binary}" DESTINATION "${PRODUCT_DIR}")
endforeach()
file(COPY "${INTERFACE_DLL}" DESTINATION "${PRODUCT_DIR}/ITF")
file(COPY "${FONT}" DESTINATION "${PRODUCT_DIR}/$fonts$")

execute_process(
  COMMAND "${PYTHON}" "${CONFIG_GENERATOR}" "${PRODUCT_DIR}/$dataFiles$/config.dsc"
          --code-table "${CODE_TABLE}" --ime-main "${IME_MAIN}" --skin "${SKIN}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "config.dsc could not be written (${result})")
endif()

file(TOUCH "${STAMP}")
