# Our own fontconfig set-up for tests and benchmarks: the six DejaVu core faces and Noto Color Emoji,
# `monospace` = DejaVu Sans Mono, the cache in the build tree. A target that draws text calls
# quiltdeck_use_test_fonts(target): it then sets FONTCONFIG_FILE before main runs.
set(QUILTDECK_TEST_FONT_DIR ${CMAKE_BINARY_DIR}/test-fonts)
set(QUILTDECK_TEST_FONTCONFIG_FILE ${QUILTDECK_TEST_FONT_DIR}/fonts.conf)

set(_test_faces
  dejavu/DejaVuSans.ttf dejavu/DejaVuSans-Bold.ttf dejavu/DejaVuSansMono.ttf dejavu/DejaVuSansMono-Bold.ttf
  dejavu/DejaVuSerif.ttf dejavu/DejaVuSerif-Bold.ttf noto/NotoColorEmoji.ttf)
file(MAKE_DIRECTORY ${QUILTDECK_TEST_FONT_DIR}/faces ${QUILTDECK_TEST_FONT_DIR}/cache)
foreach(face ${_test_faces})
  get_filename_component(name ${face} NAME)
  set(source /usr/share/fonts/truetype/${face})
  if(EXISTS ${source})
    file(CREATE_LINK ${source} ${QUILTDECK_TEST_FONT_DIR}/faces/${name} SYMBOLIC)
  else()
    message(WARNING "${source} is missing: text tests will fail "
                    "(Debian: fonts-dejavu-core fonts-noto-color-emoji; scripts/install-deps.sh installs them)")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/fonts.conf.in ${QUILTDECK_TEST_FONTCONFIG_FILE} @ONLY)

function(quiltdeck_use_test_fonts target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/fonts/TestFonts.cpp)
  target_compile_definitions(${target} PRIVATE QUILTDECK_TEST_FONTCONFIG_FILE="${QUILTDECK_TEST_FONTCONFIG_FILE}")
endfunction()
