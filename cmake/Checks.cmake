# Tests of what ships beside the binary: manual pages, the guide, the editor grammar and the
# installed tree and package. Included from the top-level CMakeLists.txt when tests are built.
find_program(GROFF groff)
if(GROFF)
  add_test(NAME docs.man_pages
           COMMAND ${CMAKE_SOURCE_DIR}/tests/docs/check-man.sh ${CMAKE_SOURCE_DIR}/man
                   $<TARGET_FILE_DIR:orvane>)
endif()
