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

set(IMEBASE_DELAY_LOADED_DLLS comctl32 gdiplus version wininet)

set(IMEBASE_DELAY_LOAD_LIBRARIES "")
set(_delay_dir ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${_delay_dir})

foreach(_dll IN LISTS IMEBASE_DELAY_LOADED_DLLS)
  find_library(_import_${_dll} NAMES lib${_dll}.a ${_dll} REQUIRED NO_CACHE)
  # The functions the normal import library offers, as a module
  # definition: on 32-bit x86 a stdcall name keeps its "@n" here and
  # loses it in the DLL (dlltool --kill-at).
  execute_process(
    COMMAND ${CMAKE_NM} -g --defined-only ${_import_${_dll}}
    OUTPUT_VARIABLE _symbols
    RESULT_VARIABLE _nm_result)
  if(NOT _nm_result EQUAL 0)
    message(FATAL_ERROR "nm could not read ${_import_${_dll}}")
  endif()
  string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" _functions "${_symbols}")
  set(_def "LIBRARY ${_dll}.dll\nEXPORTS\n")
  foreach(_line IN LISTS _functions)
    string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" _name "${_line}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" _name "${_name}")
    endif()
    string(APPEND _def "${_name}\n")
  endforeach()
  file(WRITE ${_delay_dir}/${_dll}.def "${_def}")

  set(_delay_library ${_delay_dir}/lib${_dll}-delay.a)
  set(_dlltool_flags)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND _dlltool_flags --kill-at -m i386)
  else()
    list(APPEND _dlltool_flags -m i386:x86-64)
  endif()
  execute_process(
    COMMAND ${CMAKE_DLLTOOL} ${_dlltool_flags} --input-def ${_delay_dir}/${_dll}.def
            --dllname ${_dll}.dll --output-delaylib ${_delay_library}
    RESULT_VARIABLE _dlltool_result)
  if(NOT _dlltool_result EQUAL 0 OR NOT EXISTS ${_delay_library})
    message(FATAL_ERROR "dlltool could not make the delay import library of ${_dll}.dll")
  endif()
  list(APPEND IMEBASE_DELAY_LOAD_LIBRARIES ${_delay_library})
endforeach()
list(APPEND IMEBASE_DELAY_LOAD_LIBRARIES delayimp)
