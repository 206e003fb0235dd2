# brindle-publish, the tool that writes a release's manifest: built here for
# Windows, and for the build machine by its own CMake project in this folder,
# run as an external project into build/native/.
include(${CMAKE_CURRENT_LIST_DIR}/sources.cmake)

add_executable(brindle-publish ${PUBLISH_SOURCES} ${PUBLISH_DIR}/sha256_windows.cpp ${PUBLISH_DIR}/signing_windows.cpp
               ${PUBLISH_DIR}/main.cpp)
target_link_libraries(brindle-publish PRIVATE brindle_core)
target_compile_options(brindle-publish PRIVATE -Wall -Wextra)
target_link_options(brindle-publish PRIVATE -municode)
set_target_properties(brindle-publish PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

include(ExternalProject)
ExternalProject_Add(brindle_publish_native
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/native
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBRINDLE_PUBLISH_TESTS=${BRINDLE_TESTS}
             -DBRINDLE_TEST_KEYS_DIR=${BRINDLE_TEST_KEYS_DIR}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
