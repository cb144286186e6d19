# GUI tests: the UI layer (common/ui) and the setup utility's main frame, on real windows under
# Wine (the test command provides an X display). Included from tests/setup-utility/CMakeLists.txt.
include_guard(GLOBAL)

set(GUI_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(GUI_COMMON_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/../common)
set(GUI_TEST_PROGRAMS)

if(TARGET suite_ui)
  add_executable(ui_tests
    ${GUI_COMMON_TEST_DIR}/ui_test.cpp
    ${GUI_COMMON_TEST_DIR}/ui_test.rc
    ${GUI_COMMON_TEST_DIR}/gui_test_util.h)
  target_include_directories(ui_tests PRIVATE ${GUI_COMMON_TEST_DIR})
  target_link_libraries(ui_tests PRIVATE suite_ui gtest_main)
  suite_wine_test(ui_tests)
  list(APPEND GUI_TEST_PROGRAMS ui_tests)
endif()

if(TARGET brenvik_ui)
  # The frame's own sources and resources, in this process.
  add_executable(setup_frame_tests
    ${GUI_TEST_DIR}/dialogs_test.cpp
    ${GUI_TEST_DIR}/frame_test.cpp
    ${GUI_TEST_DIR}/tree_test.cpp
    $<TARGET_OBJECTS:brenvik_startup>
    $<TARGET_OBJECTS:brenvik_res>)
  target_include_directories(setup_frame_tests PRIVATE ${GUI_COMMON_TEST_DIR}
                             ${CMAKE_SOURCE_DIR}/tests/control-object)
  target_compile_definitions(setup_frame_tests PRIVATE BRENVIK_EXE=L"Z:$<TARGET_FILE:Brenvik>"
                             STANDIN_DLL="Z:$<TARGET_FILE:ControlObjectStandIn>")
  target_link_libraries(setup_frame_tests PRIVATE brenvik_ui shlwapi gtest_main)
  add_dependencies(setup_frame_tests Brenvik ControlObjectStandIn)
  suite_wine_test(setup_frame_tests)
  # It registers the control object stand-in when it is missing, as the control-object tests do.
  set_tests_properties(setup_frame_tests PROPERTIES RESOURCE_LOCK opos_com_registration)
  list(APPEND GUI_TEST_PROGRAMS setup_frame_tests)
endif()

# Under Xvfb no window manager runs, and Wine waits two seconds for one each time it hides or
# destroys a window it lets the manager handle. The test programs' windows are left unmanaged
# (Wine's per-program setting); the program started by the end-to-end test keeps the default.
foreach(program ${GUI_TEST_PROGRAMS})
  # One GUI test program at a time on the display: windows of programs running side by side
  # take the focus from one another.
  set_property(TEST ${program} APPEND PROPERTY RESOURCE_LOCK x_display)
  add_test(NAME ${program}_unmanaged_windows
           COMMAND ${CMAKE_SOURCE_DIR}/tests/emulator/wine-detached.sh reg add "HKCU\\Software\\Wine\\AppDefaults\\${program}.exe\\X11 Driver"
                   /v Managed /d N /f)
  set_tests_properties(${program}_unmanaged_windows PROPERTIES
    ENVIRONMENT "${SUITE_TEST_ENV}" FIXTURES_SETUP ${program}_windows TIMEOUT 120)
  set_tests_properties(${program} PROPERTIES FIXTURES_REQUIRED ${program}_windows)
endforeach()
