# The program's resources, laid out in the build tree as they are installed: share/quiltdeck
# (fonts, the Help documents), the icon set drawn by the program itself, the desktop entry.
set(QUILTDECK_SHARE_DIR ${CMAKE_BINARY_DIR}/share/quiltdeck)
set(_resources ${CMAKE_CURRENT_SOURCE_DIR}/resources)
set(_outputs)

# The interface font (Inter) and a terminal font (JetBrains Mono), from Debian's fonts-inter and
# fonts-jetbrains-mono (scripts/install-deps.sh installs them). Without them the program falls
# back to the system's fonts.
set(_fonts
  /usr/share/fonts/opentype/inter/Inter-Regular.otf /usr/share/fonts/opentype/inter/Inter-Medium.otf
  /usr/share/fonts/opentype/inter/Inter-SemiBold.otf /usr/share/fonts/opentype/inter/Inter-Bold.otf
  /usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-Regular.ttf
  /usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-Bold.ttf
  /usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-Italic.ttf
  /usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-BoldItalic.ttf)
foreach(font ${_fonts})
  get_filename_component(name ${font} NAME)
  if(EXISTS ${font})
    add_custom_command(OUTPUT ${QUILTDECK_SHARE_DIR}/fonts/${name}
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${font} ${QUILTDECK_SHARE_DIR}/fonts/${name}
                       DEPENDS ${font} VERBATIM)
    list(APPEND _outputs ${QUILTDECK_SHARE_DIR}/fonts/${name})
  else()
    message(WARNING "${font} is missing: the program will use the system's fonts "
                    "(Debian: fonts-inter fonts-jetbrains-mono; scripts/install-deps.sh installs them)")
  endif()
endforeach()

foreach(document LICENSE.txt THIRD-PARTY-LICENSES.txt PRIVACY.md)
  add_custom_command(OUTPUT ${QUILTDECK_SHARE_DIR}/${document}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_resources}/${document} ${QUILTDECK_SHARE_DIR}/${document}
                     DEPENDS ${_resources}/${document} VERBATIM)
  list(APPEND _outputs ${QUILTDECK_SHARE_DIR}/${document})
endforeach()

# The icon set, drawn by the program's own tool mode (no display needed).
set(QUILTDECK_ICONSET_DIR ${CMAKE_BINARY_DIR}/iconset)
set(_icon_sizes 16 32 64 128 256 512)
set(_icon_files icon_16x16.png icon_32x32.png icon_32x32@2x.png icon_128x128.png icon_256x256.png icon_512x512.png)
set(_icon_outputs)
foreach(file ${_icon_files})
  list(APPEND _icon_outputs ${QUILTDECK_ICONSET_DIR}/${file})
endforeach()
add_custom_command(OUTPUT ${_icon_outputs}
                   COMMAND $<TARGET_FILE:quiltdeck_app> --write-iconset ${QUILTDECK_ICONSET_DIR}
                   DEPENDS quiltdeck_app VERBATIM)
list(APPEND _outputs ${_icon_outputs})

# The desktop entry names the installed program by its full path, so it is made at install time;
# the build tree gets one naming the program there, for checking.
set(QUILTDECK_DESKTOP_TEMPLATE ${_resources}/${QUILTDECK_APP_ID}.desktop.in)
include(${_resources}/DesktopExec.cmake)
quiltdeck_desktop_exec(QUILTDECK_EXEC "${CMAKE_BINARY_DIR}/bin/quiltdeck")
configure_file("${QUILTDECK_DESKTOP_TEMPLATE}" "${CMAKE_BINARY_DIR}/share/applications/${QUILTDECK_APP_ID}.desktop" @ONLY)

add_custom_target(quiltdeck_resources ALL DEPENDS ${_outputs})

include(GNUInstallDirs)
install(TARGETS quiltdeck_app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${QUILTDECK_SHARE_DIR} DESTINATION ${CMAKE_INSTALL_DATADIR})
list(LENGTH _icon_sizes _icon_count)
math(EXPR _last "${_icon_count} - 1")
foreach(i RANGE ${_last})
  list(GET _icon_sizes ${i} size)
  list(GET _icon_files ${i} file)
  install(FILES ${QUILTDECK_ICONSET_DIR}/${file}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${QUILTDECK_APP_ID}.png)
endforeach()
# The build's own paths go into the install script as bracket arguments: taken as they stand,
# whatever they hold (spaces, quotes, `$`, `;`).
install(CODE "
  include([==[${_resources}/DesktopExec.cmake]==])
  quiltdeck_desktop_exec(QUILTDECK_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quiltdeck\")
  set(QUILTDECK_APP_ID ${QUILTDECK_APP_ID})
  configure_file([==[${QUILTDECK_DESKTOP_TEMPLATE}]==] [==[${CMAKE_BINARY_DIR}/installed.desktop]==] @ONLY)
  file(INSTALL [==[${CMAKE_BINARY_DIR}/installed.desktop]==]
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
       RENAME ${QUILTDECK_APP_ID}.desktop)
")
