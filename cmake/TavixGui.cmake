# The desktop program: the Qt layer standing in for the platform, the editor,
# panes and dialogs, and the application shell.
file(GLOB TAVIX_GUI_SOURCES CONFIGURE_DEPENDS
  src/platform/*.cpp src/platform/*.h
  src/editor/*.cpp src/editor/*.h
  src/search/*.cpp src/search/*.h
  src/ui/*.cpp src/ui/*.h
  src/app/*.cpp src/app/*.h)
list(FILTER TAVIX_GUI_SOURCES EXCLUDE REGEX "src/app/main\\.cpp$")
foreach(core_file ${TAVIX_CORE_EXTRA})
  list(REMOVE_ITEM TAVIX_GUI_SOURCES ${CMAKE_SOURCE_DIR}/${core_file})
endforeach()
list(FILTER TAVIX_GUI_SOURCES EXCLUDE REGEX "src/(editor/(LinkWords|NavigationHistory)|search/(PageMatcher|PageSearch))\\.h$")

add_library(tavix_gui STATIC ${TAVIX_GUI_SOURCES} resources/tavix.qrc)
target_link_libraries(tavix_gui PUBLIC tavix_core Qt6::Widgets Qt6::PrintSupport)
set_target_properties(tavix_gui PROPERTIES AUTOMOC ON AUTORCC ON)
target_compile_definitions(tavix_gui PRIVATE TAVIX_VERSION="${PROJECT_VERSION}")

add_executable(tavix src/app/main.cpp)
target_link_libraries(tavix PRIVATE tavix_gui)

include(GNUInstallDirs)
install(TARGETS tavix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/tavix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/icons/tavix.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Desktops that cannot draw SVG look for PNG icons of fixed sizes.
foreach(size 48 128 256)
  install(FILES resources/icons/tavix-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tavix.png)
endforeach()
