# Delay-loaded imports of the Windows programs.
#
# The installer runs elevated and is often started from a Downloads
# folder. Windows resolves a program's normal imports before any of its
# code runs, searching the program's own folder first for every DLL that
# isn't a "known DLL" (those always come from the system folder). A DLL
# dropped beside the installer under such a name would run elevated.
#
# So every import that isn't a known DLL is delay-loaded: it resolves on
# the first call, after wWinMain has restricted the DLL search to the
# system folder. IMEBASE_DELAY_LOADED_DLLS lists them; each gets a delay
# import library made here from the toolchain's normal one, and
# IMEBASE_DELAY_LOAD_LIBRARIES is what a target links instead of the
# normal libraries (with the helper that resolves them, libdelayimp).
#
# scripts/check-imports.sh checks the built installers: a normal import
# that isn't a known DLL (a new library linked the usual way) fails the
# build. Add such a library to this list.

set(IMEBASE_DELAY_LOADED_DLLS bcrypt comctl32 gdiplus version wininet)

# 32-bit x86: GNU ld 2.40 drops the code of dlltool's delay-import thunks
# (the import slots stay 0), so the delay imports are made here instead:
# one small object per function with a descriptor of its own (the DLL's
# name, a module slot, a one-entry import address and name table) and a
# thunk that has MinGW's __delayLoadHelper2 resolve it on the first call.
# As archive members, only the functions the program calls are linked.
function(imebase_delay_library_x86 dll functions library)
  get_filename_component(_tools ${CMAKE_AR} DIRECTORY)
  get_filename_component(_ar_name ${CMAKE_AR} NAME)
  string(REGEX REPLACE "ar$" "as" _as_name "${_ar_name}")
  find_program(_assembler NAMES ${_as_name} HINTS ${_tools} REQUIRED NO_CACHE)
  set(_work ${CMAKE_BINARY_DIR}/delay-load/${dll}-x86)
  file(REMOVE_RECURSE ${_work})
  file(MAKE_DIRECTORY ${_work})
  set(_objects)
  set(_index 0)
  foreach(_symbol IN LISTS functions)
    # "_Name@8" (stdcall) or "_Name": the DLL exports "Name".
    string(REGEX REPLACE "^_" "" _import "${_symbol}")
    string(REGEX REPLACE "@[0-9]+$" "" _import "${_import}")
    math(EXPR _index "${_index} + 1")
    file(WRITE ${_work}/f${_index}.s
"    .section .rdata$dl,\"dr\"
1:  .asciz \"${dll}.dll\"
    .balign 2
2:  .short 0
    .asciz \"${_import}\"
    .balign 4
3:  .rva 2b
    .long 0
    .data
    .balign 4
4:  .long 0
5:  .long 1
    .rva 1b
    .rva 4b
    .rva 6f
    .rva 3b
    .long 0, 0, 0
    .globl \"__imp_${_symbol}\"
6:
\"__imp_${_symbol}\":
    .long 7f
    .long 0
    .text
7:  push %ecx
    push %edx
    push $6b
    push $5b
    call \"___delayLoadHelper2@8\"
    pop %edx
    pop %ecx
    jmp *%eax
")
    execute_process(COMMAND ${_assembler} --32 ${_work}/f${_index}.s -o ${_work}/f${_index}.o
      RESULT_VARIABLE _as_result)
    if(NOT _as_result EQUAL 0)
      message(FATAL_ERROR "could not assemble the delay import of ${dll}.dll ${_import}")
    endif()
    list(APPEND _objects ${_work}/f${_index}.o)
  endforeach()
  file(REMOVE ${library})
  execute_process(COMMAND ${CMAKE_AR} rcs ${library} ${_objects} RESULT_VARIABLE _ar_result)
  if(NOT _ar_result EQUAL 0)
    message(FATAL_ERROR "could not make the delay import library of ${dll}.dll")
  endif()
endfunction()

set(IMEBASE_DELAY_LOAD_LIBRARIES "")
set(_delay_dir ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${_delay_dir})

foreach(_dll IN LISTS IMEBASE_DELAY_LOADED_DLLS)
  find_library(_import_${_dll} NAMES lib${_dll}.a ${_dll} REQUIRED NO_CACHE)
  # The functions the normal import library offers (on 32-bit x86 with
  # their "_" and stdcall "@n", which the DLL's own names lack).
  execute_process(
    COMMAND ${CMAKE_NM} -g --defined-only ${_import_${_dll}}
    OUTPUT_VARIABLE _symbols
    RESULT_VARIABLE _nm_result)
  if(NOT _nm_result EQUAL 0)
    message(FATAL_ERROR "nm could not read ${_import_${_dll}}")
  endif()
  string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" _lines "${_symbols}")
  set(_functions)
  set(_def "LIBRARY ${_dll}.dll\nEXPORTS\n")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" _name "${_line}")
    list(APPEND _functions ${_name})
    string(APPEND _def "${_name}\n")
  endforeach()
  set(_delay_library ${_delay_dir}/lib${_dll}-delay.a)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(WRITE ${_delay_dir}/${_dll}.def "${_def}")
    execute_process(
      COMMAND ${CMAKE_DLLTOOL} -m i386:x86-64 --input-def ${_delay_dir}/${_dll}.def
              --dllname ${_dll}.dll --output-delaylib ${_delay_library}
      RESULT_VARIABLE _dlltool_result)
    if(NOT _dlltool_result EQUAL 0 OR NOT EXISTS ${_delay_library})
      message(FATAL_ERROR "dlltool could not make the delay import library of ${_dll}.dll")
    endif()
  else()
    imebase_delay_library_x86(${_dll} "${_functions}" ${_delay_library})
  endif()
  list(APPEND IMEBASE_DELAY_LOAD_LIBRARIES ${_delay_library})
endforeach()
list(APPEND IMEBASE_DELAY_LOAD_LIBRARIES delayimp)
