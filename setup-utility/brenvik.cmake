# Brenvik.exe, the OPOS setup utility: start-up, main frame, About box and resources.
# Included from setup-utility/CMakeLists.txt.
include_guard(GLOBAL)

set(BRENVIK_DIR ${CMAKE_CURRENT_LIST_DIR})
set(BRENVIK_IMAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/images)
set(BRENVIK_IMAGES
  ${BRENVIK_IMAGE_DIR}/brenvik.ico
  ${BRENVIK_IMAGE_DIR}/device_class.ico
  ${BRENVIK_IMAGE_DIR}/device.ico
  ${BRENVIK_IMAGE_DIR}/logical_name.ico
  ${BRENVIK_IMAGE_DIR}/toolbar.bmp)

# Icons and the toolbar bitmap are drawn at build time; the tree holds no generated binaries.
find_program(PYTHON3_EXECUTABLE NAMES python3 REQUIRED)
add_custom_command(
  OUTPUT ${BRENVIK_IMAGES}
  COMMAND ${PYTHON3_EXECUTABLE} ${BRENVIK_DIR}/make_images.py ${BRENVIK_IMAGE_DIR}
  DEPENDS ${BRENVIK_DIR}/make_images.py
  COMMENT "Drawing the setup utility's icons and toolbar"
  VERBATIM)
add_custom_target(brenvik_images DEPENDS ${BRENVIK_IMAGES})

# The frame and what it runs, shared by the program and the GUI tests.
add_library(brenvik_ui STATIC
  ${BRENVIK_DIR}/AddDevDlg.cpp
  ${BRENVIK_DIR}/AddDevDlg.h
  ${BRENVIK_DIR}/AddLdnDlg.cpp
  ${BRENVIK_DIR}/AddLdnDlg.h
  ${BRENVIK_DIR}/Brenvik.h
  ${BRENVIK_DIR}/DevDetail.cpp
  ${BRENVIK_DIR}/DevDetail.h
  ${BRENVIK_DIR}/DeviceTree.cpp
  ${BRENVIK_DIR}/DeviceTree.h
  ${BRENVIK_DIR}/HealthCheck.cpp
  ${BRENVIK_DIR}/MainFrm.cpp
  ${BRENVIK_DIR}/MainFrm.h
  ${BRENVIK_DIR}/PortConfigDlg.cpp
  ${BRENVIK_DIR}/PortConfigDlg.h
  ${BRENVIK_DIR}/PortRangeDlg.cpp
  ${BRENVIK_DIR}/PortRangeDlg.h
  ${BRENVIK_DIR}/aboutdlg.cpp
  ${BRENVIK_DIR}/aboutdlg.h
  ${BRENVIK_DIR}/resource.h)
target_include_directories(brenvik_ui PUBLIC ${BRENVIK_DIR} ${BRENVIK_DIR}/../common)
target_link_libraries(brenvik_ui PUBLIC brenvik_core suite_ui suite_xp ole32 oleaut32 uuid comctl32)

# The manifest names the processor of this build.
set(BRENVIK_MANIFEST_DIR ${CMAKE_CURRENT_BINARY_DIR}/manifest)
configure_file(${BRENVIK_DIR}/Brenvik.manifest.in ${BRENVIK_MANIFEST_DIR}/Brenvik.manifest @ONLY)

# The resources as an object library: each program gets the object itself, which a static
# library would drop as unreferenced.
add_library(brenvik_res OBJECT ${BRENVIK_DIR}/Brenvik.rc)
target_include_directories(brenvik_res PRIVATE ${BRENVIK_DIR} ${BRENVIK_IMAGE_DIR}
                           ${BRENVIK_MANIFEST_DIR} ${BRENVIK_DIR}/../common/ui)
set_source_files_properties(${BRENVIK_DIR}/Brenvik.rc PROPERTIES OBJECT_DEPENDS
  "${BRENVIK_IMAGES};${BRENVIK_MANIFEST_DIR}/Brenvik.manifest;${BRENVIK_DIR}/resource.h;${BRENVIK_DIR}/../common/ui/uires.h")
add_dependencies(brenvik_res brenvik_images)

# The start-up (wWinMain, RunMainWindow) as objects too: nothing would pull the entry point out
# of a library. Tests link it for RunMainWindow.
add_library(brenvik_startup OBJECT ${BRENVIK_DIR}/Brenvik.cpp)
target_link_libraries(brenvik_startup PRIVATE brenvik_ui)

add_executable(Brenvik WIN32 $<TARGET_OBJECTS:brenvik_startup> $<TARGET_OBJECTS:brenvik_res>
               ${BRENVIK_DIR}/../common/xpcompat.cpp)
target_link_libraries(Brenvik PRIVATE brenvik_ui)
# The entry point is wWinMain.
target_link_options(Brenvik PRIVATE -municode)
