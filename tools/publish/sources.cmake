# The sources that the native and the Windows build of brindle-publish share.
# Each build adds its own SHA-256 and signing (the _openssl and _windows files),
# main.cpp, and the launcher's manifest reader and signature text.
set(PUBLISH_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PUBLISH_SOURCES
  ${PUBLISH_DIR}/path_rules.cpp
  ${PUBLISH_DIR}/release_walk.cpp
  ${PUBLISH_DIR}/parallel_hash.cpp
  ${PUBLISH_DIR}/progress_line.cpp
  ${PUBLISH_DIR}/manifest_writer.cpp
  ${PUBLISH_DIR}/atomic_write.cpp
  ${PUBLISH_DIR}/key_files.cpp
  ${PUBLISH_DIR}/manifest_signing.cpp
  ${PUBLISH_DIR}/publish.cpp)
