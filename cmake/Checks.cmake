# Tests of what ships beside the binary: manual pages, the guide, the editor grammar and the
# installed tree and package. Read after the rest of the top-level CMakeLists.txt.
if(NOT ORVANE_TESTS)
  return()
endif()

find_program(GROFF groff)
if(GROFF)
  add_test(NAME docs.man_pages
           COMMAND ${CMAKE_SOURCE_DIR}/tests/docs/check-man.sh ${CMAKE_SOURCE_DIR}/man
                   $<TARGET_FILE_DIR:orvane>)
endif()

# Packaging the sanitizer build would prove nothing more and take a while.
if(NOT ORVANE_SANITIZE AND NOT ORVANE_FUZZ)
  add_test(NAME package.install_and_deb
           COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-install.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_SOURCE_DIR} $<IF:$<TARGET_EXISTS:orvane-lint>,1,0>)
  set_tests_properties(package.install_and_deb PROPERTIES TIMEOUT 300)
endif()

# The TextMate grammar, tokenized by the engine editors use (npm packages that
# scripts/install-deps puts in tests/editors/node_modules).
find_program(NODE node)
if(NODE)
  add_test(NAME editors.textmate_grammar
           COMMAND ${NODE} ${CMAKE_SOURCE_DIR}/tests/editors/grammar_test.js ${CMAKE_SOURCE_DIR})
endif()

# Every example of the guide runs, and prints what the guide shows.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME docs.guide_examples
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/check-guide.py
                   $<TARGET_FILE:orvane> ${CMAKE_SOURCE_DIR}/docs/guide.md)
endif()

# The Vim syntax file, through Vim itself.
find_program(VIM vim)
if(VIM)
  add_test(NAME editors.vim_syntax
           COMMAND ${CMAKE_SOURCE_DIR}/tests/editors/check-vim.sh ${CMAKE_SOURCE_DIR})
endif()
