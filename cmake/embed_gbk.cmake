# Turns a UTF-8 text file into a C++ file holding its GBK bytes:
#   cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed_gbk.cmake
execute_process(COMMAND iconv -f UTF-8 -t GBK "${INPUT}"
                OUTPUT_FILE "${OUTPUT}.gbk" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "iconv could not convert ${INPUT} to GBK")
endif()
file(READ "${OUTPUT}.gbk" hex HEX)
string(REGEX REPLACE "0a$" "" hex "${hex}")
string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}: GBK bytes.\n#include <string_view>\nnamespace qb::mapping {\nextern const std::string_view ${NAME};\nconst std::string_view ${NAME}(\"${escaped}\", sizeof(\"${escaped}\") - 1);\n}\n")
file(REMOVE "${OUTPUT}.gbk")
