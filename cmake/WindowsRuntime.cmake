# What the programs and tests load on Windows, copied into the build's bin folder so that it runs
# as the unpacked zip does: the compiler's runtime (kro.exe carries its own; the Qt programs share
# it with Qt's DLLs) and, with the window, Qt's DLLs, the Windows platform and style plugins,
# Qt's Chinese translations and qt.conf pointing Qt at them. The tests find the DLLs through
# WINEPATH (kro_add_test).
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "The compiler's ${dll} was not found")
  endif()
  file(COPY ${found} DESTINATION ${KRO_BIN_DIR})
endforeach()
if(NOT KRO_BUILD_GUI)
  return()
endif()

foreach(dll Qt6Core Qt6Gui Qt6Widgets Qt6PrintSupport)
  file(COPY ${KRO_WINDOWS_QT}/bin/${dll}.dll DESTINATION ${KRO_BIN_DIR})
endforeach()
file(COPY ${KRO_WINDOWS_QT}/plugins/platforms/qwindows.dll DESTINATION ${KRO_BIN_DIR}/plugins/platforms)
file(COPY ${KRO_WINDOWS_QT}/plugins/styles/qwindowsvistastyle.dll DESTINATION ${KRO_BIN_DIR}/plugins/styles)
# Debian's qt6-translations-l10n, of the same Qt version.
set(KRO_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH "Folder of Qt's translations")
if(NOT EXISTS ${KRO_QT_TRANSLATIONS}/qtbase_zh_CN.qm)
  message(FATAL_ERROR "${KRO_QT_TRANSLATIONS}/qtbase_zh_CN.qm not found (Debian package qt6-translations-l10n)")
endif()
file(COPY ${KRO_QT_TRANSLATIONS}/qtbase_zh_CN.qm DESTINATION ${KRO_BIN_DIR}/translations)
file(WRITE ${KRO_BIN_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = plugins\nTranslations = translations\n")

# The window's tests draw off screen, with the program's translations and Qt Test.
if(KRO_BUILD_TESTS)
  set(tests ${CMAKE_BINARY_DIR}/tests)
  file(COPY ${KRO_WINDOWS_QT}/bin/Qt6Test.dll DESTINATION ${tests})
  file(COPY ${KRO_WINDOWS_QT}/plugins/platforms/qoffscreen.dll DESTINATION ${tests}/plugins/platforms)
  file(WRITE ${tests}/qt.conf "[Paths]\nPrefix = .\nPlugins = plugins\nTranslations = ../bin/translations\n")
endif()
