# The setup utility's registry key and value helpers. Included from common/CMakeLists.txt.
include_guard(GLOBAL)

add_library(suite_reg STATIC ${CMAKE_CURRENT_LIST_DIR}/AtlReg.cpp ${CMAKE_CURRENT_LIST_DIR}/AtlReg.h)
target_include_directories(suite_reg PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(suite_reg PUBLIC suite_xp advapi32)
