# payroll_parse_tables(<prefix> <grammar.y> <out-var>)
#
# Builds the parse tables of one yacc grammar when the program is built:
# bison writes the LALR automaton as XML (default reductions only in
# consistent states, so the driver reads a look-ahead exactly where the
# grammar needs one), then tools/yacctables writes the eight tables as
# <build>/parsetables/<prefix>_YYA.bin ... <prefix>_YYR.bin.  <out-var>
# receives "rcdata;<file>" pairs for payroll_embed_resources(GENERATED ...).
# A conflict the grammar does not declare with %expect fails the build.
find_program(BISON_EXECUTABLE bison)
if(NOT BISON_EXECUTABLE)
  message(FATAL_ERROR "bison is needed to build the parse tables; see scripts/install-deps.sh")
endif()

function(payroll_parse_tables prefix grammar out_var)
  set(dir ${PROJECT_BINARY_DIR}/parsetables)
  set(xml ${dir}/${prefix}.xml)
  set(outputs "")
  set(pairs "")
  foreach(t YYA YYG YYD YYAL YYAH YYGL YYGH YYR)
    list(APPEND outputs ${dir}/${prefix}_${t}.bin)
    list(APPEND pairs rcdata ${dir}/${prefix}_${t}.bin)
  endforeach()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${BISON_EXECUTABLE} -Wall -Werror --xml=${xml} -o ${dir}/${prefix}.tab.c ${grammar}
    COMMAND yacctables ${xml} ${dir} ${prefix}
    DEPENDS ${grammar} yacctables
    COMMENT "Building the parse tables ${prefix} from ${grammar}")
  set(${out_var} ${pairs} PARENT_SCOPE)
endfunction()
