# Writes the header naming the source revision the programs are built from: git's commit, with
# "-dirty" when the working tree has changes, or REVISION when given (a source tree outside git).
# The header is rewritten only when its text changes, so a build of the same revision compiles
# nothing again. Variables: SOURCE_DIR, OUTPUT, REVISION.
if(NOT REVISION)
  execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=12
                  OUTPUT_VARIABLE REVISION OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT REVISION)
    set(REVISION unknown)
  endif()
endif()
file(WRITE "${OUTPUT}.new"
     "// Written by the build: the source revision the programs are built from.\n"
     "#pragma once\n"
     "#define QUILLET_REVISION \"${REVISION}\"\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
