# Fails when a file under ROOT includes across a border the layers keep:
#   vantel/*            nothing of platform/ui/gtk (the view stays toolkit-free)
#   vantel/core         nothing of ours outside vantel/core
#   quiltdeck/shell     nothing of quiltdeck/sessions, panels, wall or app: those build on the
#                       shell's log, environment, texts, theme and settings, never the other way
# Both include forms count, "…" and <…>.
# Usage: cmake -DROOT=<source folder> -P CheckIncludes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

set(include_line "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">]")
set(violations "")
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/vantel/*.h ${ROOT}/vantel/*.cpp
     ${ROOT}/quiltdeck/*.h ${ROOT}/quiltdeck/*.cpp)
list(SORT files)
foreach(file ${files})
  file(STRINGS ${ROOT}/${file} lines REGEX "${include_line}")
  foreach(line ${lines})
    string(REGEX MATCH "${include_line}" ignored "${line}")
    set(included "${CMAKE_MATCH_1}")
    set(why "")
    if(file MATCHES "^vantel/" AND included MATCHES "^platform/ui/gtk/")
      set(why "vantel/ does not include platform/ui/gtk")
    elseif(file MATCHES "^vantel/core/" AND included MATCHES "^(vantel|platform|quiltdeck|bench|tools)/"
           AND NOT included MATCHES "^vantel/core/")
      set(why "vantel/core includes nothing of ours outside itself")
    elseif(file MATCHES "^quiltdeck/shell/" AND included MATCHES "^quiltdeck/(sessions|panels|wall|app)/")
      set(why "quiltdeck/${CMAKE_MATCH_1} builds on quiltdeck/shell, not the other way")
    endif()
    if(why)
      list(APPEND violations "${file}: #include \"${included}\": ${why}")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes across a layer border:\n  ${text}")
endif()
message(STATUS "includes keep the layer borders (${ROOT})")
