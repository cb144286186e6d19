# Pelkrane.exe, the virtual port installer: its dialogs, the busy window, the resources with
# the driver package. Included from installer/CMakeLists.txt.
include_guard(GLOBAL)

set(PELKRANE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
set(PELKRANE_IMAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/images CACHE INTERNAL "")
# The manifest names the processor of this build.
set(PELKRANE_MANIFEST_DIR ${CMAKE_CURRENT_BINARY_DIR}/manifest CACHE INTERNAL "")
configure_file(${PELKRANE_DIR}/Pelkrane.manifest.in ${PELKRANE_MANIFEST_DIR}/Pelkrane.manifest @ONLY)

find_program(PYTHON3_EXECUTABLE NAMES python3 REQUIRED)
add_custom_command(
  OUTPUT ${PELKRANE_IMAGE_DIR}/pelkrane.ico
  COMMAND ${PYTHON3_EXECUTABLE} ${PELKRANE_DIR}/make_icon.py ${PELKRANE_IMAGE_DIR}
  DEPENDS ${PELKRANE_DIR}/make_icon.py
  COMMENT "Drawing the installer's icon"
  VERBATIM)
add_custom_target(pelkrane_images DEPENDS ${PELKRANE_IMAGE_DIR}/pelkrane.ico)

# The dialogs and their handlers, shared by the program and the GUI tests.
add_library(pelkrane_ui STATIC
  ${PELKRANE_DIR}/ChgPortDlg.cpp
  ${PELKRANE_DIR}/ChgPortDlg.h
  ${PELKRANE_DIR}/InstallDlgs.cpp
  ${PELKRANE_DIR}/InstallDlgs.h
  ${PELKRANE_DIR}/MainDlg.cpp
  ${PELKRANE_DIR}/MainDlg.h
  ${PELKRANE_DIR}/Pelkrane.cpp
  ${PELKRANE_DIR}/Pelkrane.h
  ${PELKRANE_DIR}/WaitWin.cpp
  ${PELKRANE_DIR}/WaitWin.h
  ${PELKRANE_DIR}/resource.h)
target_include_directories(pelkrane_ui PUBLIC ${PELKRANE_DIR} ${PELKRANE_DIR}/../common/ui)
target_link_libraries(pelkrane_ui PUBLIC pelkrane_core suite_ui suite_xp setupapi gdiplus ole32 comctl32
                      shell32 shlwapi)

# The resources as objects of their own (a static library would drop them). The package is
# the driver's, as its packaging step leaves it; tests link their own package instead.
function(pelkrane_resources target package)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target})
  file(WRITE ${generated}/package.rc "IDR_PACKAGE RCDATA \"${package}\"\n")
  add_library(${target} OBJECT ${PELKRANE_DIR}/Pelkrane.rc)
  target_include_directories(${target} PRIVATE ${PELKRANE_DIR} ${PELKRANE_IMAGE_DIR} ${PELKRANE_MANIFEST_DIR}
                             ${generated})
  set_source_files_properties(${PELKRANE_DIR}/Pelkrane.rc TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
    "${PELKRANE_IMAGE_DIR}/pelkrane.ico;${PELKRANE_MANIFEST_DIR}/Pelkrane.manifest;${PELKRANE_DIR}/resource.h;${package}")
  add_dependencies(${target} pelkrane_images)
endfunction()

pelkrane_resources(pelkrane_res ${ZULKOR_PACKAGE})
add_dependencies(pelkrane_res zulkor_package)

add_executable(Pelkrane WIN32 ${PELKRANE_DIR}/main.cpp ${PELKRANE_DIR}/../common/xpcompat.cpp
               $<TARGET_OBJECTS:pelkrane_res>)
target_link_libraries(Pelkrane PRIVATE pelkrane_ui)
target_link_options(Pelkrane PRIVATE -municode)
