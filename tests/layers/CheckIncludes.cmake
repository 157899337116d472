# Fails when a file under ROOT includes across a border the layers keep:
#   vantel/*            nothing of platform/ui/gtk (the view stays toolkit-free)
#   vantel/core         nothing of ours outside vantel/core
#   quiltdeck/shell and quiltdeck/sessions never include each other both ways: sessions build on
#   shell's log, environment and texts; shell reaches sessions only from the files listed in
#   SHELL_INTO_SESSIONS (the application's wiring and the settings the store holds).
# Usage: cmake -DROOT=<source folder> -P CheckIncludes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

set(SHELL_INTO_SESSIONS
    quiltdeck/shell/AppDelegate.cpp
    quiltdeck/shell/Fonts.cpp
    quiltdeck/shell/Lang.cpp
    quiltdeck/shell/LoginItem.cpp
    quiltdeck/shell/Theme.h
    quiltdeck/shell/Tints.cpp)

set(violations "")
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/vantel/*.h ${ROOT}/vantel/*.cpp
     ${ROOT}/quiltdeck/*.h ${ROOT}/quiltdeck/*.cpp)
foreach(file ${files})
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    set(why "")
    if(file MATCHES "^vantel/" AND included MATCHES "^platform/ui/gtk/")
      set(why "vantel/ does not include platform/ui/gtk")
    elseif(file MATCHES "^vantel/core/" AND included MATCHES "^(vantel|platform|quiltdeck|bench|tools)/"
           AND NOT included MATCHES "^vantel/core/")
      set(why "vantel/core includes nothing of ours outside itself")
    elseif(file MATCHES "^quiltdeck/shell/" AND included MATCHES "^quiltdeck/sessions/")
      list(FIND SHELL_INTO_SESSIONS ${file} listed)
      if(listed EQUAL -1)
        set(why "quiltdeck/sessions builds on quiltdeck/shell, not the other way")
      endif()
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
