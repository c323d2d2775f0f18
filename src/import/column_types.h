// The column type list with its Chinese labels, and the column type of each data source for
// tables an import creates.
#pragma once

#include <string>

namespace qb::import {

// "\r\n[0]小数(decimal)\r\n[101]字节(tinyint)...\r\n", GBK.
const std::string& column_type_list();
// The code of a type name in the list ("text" gives 25203); 0 when absent.
int lookup_type_code(const std::string& type_name);
// The list's label for a column type as the server describes it ("varchar(255)" gives
// "变长字符串(varchar)", "int(11) unsigned" gives "整数(int)"); a type not in the list gets
// the label of code 0, "小数(decimal)".
std::string column_type_label(const std::string& described_type);
// The type name for a data source ("文件内容" gives mediumtext).
std::string type_for_source(const std::string& source);

}  // namespace qb::import
