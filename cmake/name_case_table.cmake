# The upper-case table that file-name comparisons use (common/name_case.cpp),
# made at build time from the Unicode Character Database that Debian's
# unicode-data package installs.
set(BRINDLE_UNICODE_DATA /usr/share/unicode/UnicodeData.txt)

function(brindle_name_case_table target root)
  if(NOT EXISTS ${BRINDLE_UNICODE_DATA})
    message(FATAL_ERROR "${BRINDLE_UNICODE_DATA} is missing: install the package unicode-data.")
  endif()
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/generated)
  set(table ${folder}/name_case_table.inc)
  add_custom_command(OUTPUT ${table}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND python3 ${root}/scripts/make_case_table.py ${BRINDLE_UNICODE_DATA} ${table}
    DEPENDS ${root}/scripts/make_case_table.py ${BRINDLE_UNICODE_DATA}
    VERBATIM)
  target_sources(${target} PRIVATE ${table})
  target_include_directories(${target} PRIVATE ${folder})
endfunction()
