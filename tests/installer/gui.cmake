# The installer's dialogs in-process under Xvfb, with a package whose device console tool is the
# recording stand-in, and one start of the real Pelkrane.exe. Included from
# tests/installer/CMakeLists.txt.
include_guard(GLOBAL)

if(TARGET pelkrane_ui AND TARGET devcon_standin)
  # The test package: the stand-in as devcon.exe and the driver's INFs, in the package's layout
  # and compression.
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/gui_package)
  set(test_package ${CMAKE_CURRENT_BINARY_DIR}/gui_package.7z)
  file(MAKE_DIRECTORY ${stage})
  add_custom_command(
    OUTPUT ${test_package}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}/x86 ${stage}/amd64 ${test_package}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/x86 ${stage}/amd64
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:devcon_standin> ${stage}/x86/devcon.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:devcon_standin> ${stage}/amd64/devcon.exe
    COMMAND ${CMAKE_COMMAND} -E copy ${ZULKOR_INF_DIR}/x86/Quorvallent.inf ${stage}/x86/Quorvallent.inf
    COMMAND ${CMAKE_COMMAND} -E copy ${ZULKOR_INF_DIR}/amd64/Quorvallent.inf ${stage}/amd64/Quorvallent.inf
    COMMAND ${CMAKE_COMMAND} -E echo_append "driver stand-in" > ${stage}/x86/zulkor.dll
    COMMAND 7zz a -t7z -bd -bso0 -ms=on -m0=BCJ2 -m1=LZMA2:d=23 -m2=LZMA2:d=19 -m3=LZMA2:d=19
            -mb0s0:1 -mb0s1:2 -mb0s2:3 ${test_package} x86 amd64
    WORKING_DIRECTORY ${stage}
    DEPENDS devcon_standin ${ZULKOR_INF_DIR}/x86/Quorvallent.inf
    COMMENT "The installer tests' package"
    VERBATIM)
  add_custom_target(installer_gui_package DEPENDS ${test_package})

  pelkrane_resources(installer_gui_res ${test_package})
  add_dependencies(installer_gui_res installer_gui_package)

  add_executable(installer_gui_tests installer_gui_test.cpp $<TARGET_OBJECTS:installer_gui_res>)
  target_include_directories(installer_gui_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  target_compile_definitions(installer_gui_tests PRIVATE PELKRANE_EXE=L"Z:$<TARGET_FILE:Pelkrane>"
                             TEST_ARCHIVES="Z:${archives}")
  target_link_libraries(installer_gui_tests PRIVATE pelkrane_ui gtest_main)
  add_dependencies(installer_gui_tests Pelkrane installer_archives)
  suite_wine_test(installer_gui_tests)
  # It changes the device maps and the device database of the prefix, and shares the display
  # with the other GUI tests one at a time.
  set_tests_properties(installer_gui_tests PROPERTIES RESOURCE_LOCK "wine_devices;x_display")

  # No window manager under Xvfb: the test program's windows stay unmanaged (see
  # tests/setup-utility/gui.cmake).
  # Its output goes to files: when it is the prefix's first program, the services that Wine
  # starts for it inherit its standard handles and would keep the test's pipe open for good.
  add_test(NAME installer_gui_tests_unmanaged_windows
           COMMAND ${CMAKE_SOURCE_DIR}/tests/emulator/wine-detached.sh reg add "HKCU\\Software\\Wine\\AppDefaults\\installer_gui_tests.exe\\X11 Driver"
                   /v Managed /d N /f)
  set_tests_properties(installer_gui_tests_unmanaged_windows PROPERTIES
    ENVIRONMENT "${SUITE_TEST_ENV}" FIXTURES_SETUP installer_gui_windows TIMEOUT 120)
  set_tests_properties(installer_gui_tests PROPERTIES FIXTURES_REQUIRED installer_gui_windows)

  # The restart error's message in a process of its own where it is the first message box: the
  # first box is also the first use of the caption, which reads the module file name.
  add_test(NAME installer_gui_restart_error
           COMMAND ${CMAKE_SOURCE_DIR}/tests/emulator/wine-run.sh $<TARGET_FILE:installer_gui_tests>
                   --gtest_filter=Rename.AFailedRestartIsReportedAndTheNameStays)
  set_tests_properties(installer_gui_restart_error PROPERTIES
    ENVIRONMENT "${SUITE_TEST_ENV}" TIMEOUT 120 RESOURCE_LOCK "wine_devices;x_display"
    FIXTURES_REQUIRED installer_gui_windows)

  # The program with the test package, for screenshots (tests/installer/screenshots.sh): its
  # device console tool is the stand-in, which can take its time and play the device.
  add_executable(pelkrane_standin WIN32 ${PELKRANE_DIR}/main.cpp ${CMAKE_SOURCE_DIR}/common/xpcompat.cpp
                 $<TARGET_OBJECTS:installer_gui_res>)
  target_link_libraries(pelkrane_standin PRIVATE pelkrane_ui)
  target_link_options(pelkrane_standin PRIVATE -municode)
  set_target_properties(pelkrane_standin PROPERTIES OUTPUT_NAME Pelkrane
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/standin)
endif()
