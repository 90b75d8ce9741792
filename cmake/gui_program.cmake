# The window program Velmora.exe (Windows only). Its resources (menus, strings, bitmaps,
# manifest) are one object that both the program and the GUI tests link, so the tests run
# the window with the same resources the user gets.
enable_language(RC)

if(TARGET velmora_gui)
  add_library(velmora_resources OBJECT ${PROJECT_SOURCE_DIR}/res/velmora.rc)
  file(GLOB VELMORA_RES_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/*.bmp
    ${PROJECT_SOURCE_DIR}/res/*.ico ${PROJECT_SOURCE_DIR}/res/*.manifest)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/res/velmora.rc PROPERTIES
    OBJECT_DEPENDS "${VELMORA_RES_FILES};${PROJECT_SOURCE_DIR}/src/ui/resource_ids.h")
  target_sources(velmora_gui INTERFACE $<TARGET_OBJECTS:velmora_resources>)
  target_link_libraries(velmora_gui PUBLIC dwmapi uxtheme)

  add_executable(Velmora WIN32 ${PROJECT_SOURCE_DIR}/src/ui/app/win_main.cpp)
  target_link_libraries(Velmora PRIVATE velmora_gui)
  target_link_options(Velmora PRIVATE -municode)
endif()
