# Desktop entry, installed icons and Windows version record of the kestrel
# window program (the Qt window's own icon is compiled into kestrel_qt_view). Included from app/CMakeLists.txt after add_executable(kestrel ...):
#
#   include(${CMAKE_CURRENT_SOURCE_DIR}/resources/resources.cmake)
#
# The PNGs and the ICO are generated files kept in the repository
# (render-icons.sh makes them from the SVGs); the build only uses them.

if(NOT TARGET kestrel)
  message(FATAL_ERROR "resources.cmake: include it after add_executable(kestrel ...)")
endif()

set(KESTREL_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

if(WIN32)
  # Program icon and version record of kestrel.exe. The version text shows
  # the minor number with two digits, as the window title does (0.20; a
  # version 1.5 reads 1.05).
  math(EXPR _kestrel_minor_plus_100 "${PROJECT_VERSION_MINOR} + 100")
  string(LENGTH "${_kestrel_minor_plus_100}" _kestrel_len)
  math(EXPR _kestrel_from "${_kestrel_len} - 2")
  string(SUBSTRING "${_kestrel_minor_plus_100}" ${_kestrel_from} 2 _kestrel_minor_text)
  set(KESTREL_VERSION_DISPLAY "${PROJECT_VERSION_MAJOR}.${_kestrel_minor_text}")
  set(KESTREL_ICON_FILE ${KESTREL_RESOURCES_DIR}/kestrel.ico)
  set(KESTREL_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/kestrel.manifest)
  configure_file(${KESTREL_RESOURCES_DIR}/kestrel.manifest.in ${KESTREL_MANIFEST_FILE} @ONLY)
  configure_file(${KESTREL_RESOURCES_DIR}/kestrel.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/kestrel.rc @ONLY)
  target_sources(kestrel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/kestrel.rc)
  # configure_file tracks the template; the icon is read by the resource
  # compiler, so rebuild the .rc when it changes too.
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/kestrel.rc APPEND
               PROPERTY OBJECT_DEPENDS ${KESTREL_ICON_FILE})
  # The comparison window's: the same icon and manifest, a record of its own.
  configure_file(${KESTREL_RESOURCES_DIR}/kestrel-compare-window.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/kestrel-compare-window.rc @ONLY)
  target_sources(kestrel-compare-window PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/kestrel-compare-window.rc)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/kestrel-compare-window.rc APPEND
               PROPERTY OBJECT_DEPENDS ${KESTREL_ICON_FILE})
  unset(_kestrel_minor_plus_100)
  unset(_kestrel_len)
  unset(_kestrel_from)
  unset(_kestrel_minor_text)
else()
  # freedesktop.org launcher entries (the converter's and the comparison
  # window's) and the themed icons they share.
  set(_kestrel_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${KESTREL_RESOURCES_DIR}/kestrel.desktop ${KESTREL_RESOURCES_DIR}/kestrel-compare-window.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KESTREL_RESOURCES_DIR}/kestrel-32.png
          DESTINATION ${_kestrel_icons}/32x32/apps RENAME kestrel.png)
  install(FILES ${KESTREL_RESOURCES_DIR}/kestrel-16.png
          DESTINATION ${_kestrel_icons}/16x16/apps RENAME kestrel.png)
  install(FILES ${KESTREL_RESOURCES_DIR}/kestrel.svg
          DESTINATION ${_kestrel_icons}/scalable/apps RENAME kestrel.svg)
  unset(_kestrel_icons)
endif()
