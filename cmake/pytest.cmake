# Python tests run by Debian's interpreter with Debian's pytest:
#   mobi_pytest(NAME PATH [ENVIRONMENT VAR=VALUE...])
# adds the test NAME running pytest on PATH (a folder or a file). Skipped
# (exit 77) only where pytest is missing; ./run test installs it.
find_program(MOBI_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(MOBI_PYTHON3 python3)

function(mobi_pytest name path)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "ENVIRONMENT")
  add_test(NAME ${name}
    COMMAND sh -c "\"$0\" -c 'import pytest' 2>/dev/null || exit 77; exec \"$0\" -m pytest -q -p no:cacheprovider \"$1\""
      ${MOBI_PYTHON3} ${path})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;${arg_ENVIRONMENT}")
endfunction()
