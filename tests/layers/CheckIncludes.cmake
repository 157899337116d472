# Fails when a file under ROOT includes across a border the layers keep:
#   vantel/*            nothing of platform/ui/gtk (the view stays toolkit-free)
#   vantel/core         nothing of ours outside vantel/core
#   quiltdeck/shell     nothing of quiltdeck/sessions, panels, wall or app: those build on the
#                       shell's log, environment, texts, theme and settings, never the other way
# Both include forms count, "…" and <…>. An include is judged by the file it names, found as the
# compiler finds it: a "…" include beside the including file first, then in the include folder
# (ROOT), so "../sessions/Store.h" or "quiltdeck/shell/../sessions/Store.h" count as what they
# reach. Where no such file exists, every place it could name is judged.
# ROOT may be relative to the working folder. A folder that holds no vantel or quiltdeck source is
# refused: a check that read nothing has kept nothing.
# Usage: cmake -DROOT=<source folder> -P CheckIncludes.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()
# Every path below is built from ROOT; a relative one would be read from elsewhere.
file(REAL_PATH "${ROOT}" ROOT)
if(NOT IS_DIRECTORY "${ROOT}")
  message(FATAL_ERROR "ROOT is no folder: ${ROOT}")
endif()

set(include_line "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]*)[\">]")

# The path below ROOT that `spelling` names from `folder` (a folder below ROOT, or "" for ROOT
# itself), in `out`; empty when it leads out of ROOT.
function(path_below_root out folder spelling)
  if(IS_ABSOLUTE "${spelling}")
    file(RELATIVE_PATH spelling "${ROOT}" "${spelling}")
    set(folder "")
  endif()
  if(folder)
    set(spelling "${folder}/${spelling}")
  endif()
  cmake_path(SET path NORMALIZE "${spelling}")
  if(path MATCHES "^\\.\\.(/|$)" OR IS_ABSOLUTE "${path}")
    set(path "")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Why `file` may not include `included` (both below ROOT), in `out`; empty when it may.
function(border_crossed out file included)
  set(why "")
  if(file MATCHES "^vantel/" AND included MATCHES "^platform/ui/gtk/")
    set(why "vantel/ does not include platform/ui/gtk")
  elseif(file MATCHES "^vantel/core/" AND included MATCHES "^(vantel|platform|quiltdeck|bench|tools)/"
         AND NOT included MATCHES "^vantel/core/")
    set(why "vantel/core includes nothing of ours outside itself")
  elseif(file MATCHES "^quiltdeck/shell/" AND included MATCHES "^quiltdeck/(sessions|panels|wall|app)/")
    set(why "quiltdeck/${CMAKE_MATCH_1} builds on quiltdeck/shell, not the other way")
  endif()
  set(${out} "${why}" PARENT_SCOPE)
endfunction()

set(violations "")
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/vantel/*.h ${ROOT}/vantel/*.cpp
     ${ROOT}/quiltdeck/*.h ${ROOT}/quiltdeck/*.cpp)
list(SORT files)
if(NOT files)
  message(FATAL_ERROR "no vantel or quiltdeck source under ${ROOT}: nothing was checked")
endif()
foreach(file ${files})
  get_filename_component(folder "${file}" DIRECTORY)
  file(STRINGS ${ROOT}/${file} lines REGEX "${include_line}")
  foreach(line ${lines})
    string(REGEX MATCH "${include_line}" ignored "${line}")
    set(spelling "${CMAKE_MATCH_2}")
    set(candidates "")
    if(CMAKE_MATCH_1 STREQUAL "\"")
      path_below_root(beside "${folder}" "${spelling}")
      list(APPEND candidates "${beside}")
    endif()
    path_below_root(inFolder "" "${spelling}")
    list(APPEND candidates "${inFolder}")
    list(REMOVE_ITEM candidates "")
    list(REMOVE_DUPLICATES candidates)
    set(judged "${candidates}")
    foreach(candidate ${candidates})
      if(EXISTS "${ROOT}/${candidate}" AND NOT IS_DIRECTORY "${ROOT}/${candidate}")
        set(judged "${candidate}")
        break()
      endif()
    endforeach()
    foreach(included ${judged})
      border_crossed(why "${file}" "${included}")
      if(why)
        if(included STREQUAL spelling)
          list(APPEND violations "${file}: #include \"${spelling}\": ${why}")
        else()
          list(APPEND violations "${file}: #include \"${spelling}\" (${included}): ${why}")
        endif()
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes across a layer border:\n  ${text}")
endif()
message(STATUS "includes keep the layer borders (${ROOT})")
