#include "app/connection_texts.h"

#include "text/iconv_text.h"

namespace qb::app {

std::string connect_failure_caption() {
    return text::G("连接到MySQL失败");
}

std::string connect_failure_hint() {
    return text::G(
        "请检查服务器地址、用户名、密码是否有误，或该服务器是否限制远程连接（也就是只能在服务器上连"
        "接）！");
}

std::string connect_failure_details() {
    return text::G(
        "连接 Mysql 失败，请检查连接参数和权限！\r\n"
        "\r\n"
        "常见的原因有三种：\r\n"
        "1. 连接参数有误：服务器地址、用户名或密码填写错误。\r\n"
        "2. 网络不通：网络故障，或防火墙拦截了 MySQL 的 3306 端口。\r\n"
        "3. 服务器拒绝远程连接：MySQL 默认只允许本机（localhost）登录，其他电脑连接时会被拒绝。\r\n"
        "\r\n"
        "第三种情况可以在服务器本机上用以下两种方法之一解决：\r\n"
        "\r\n"
        "一、改表法：把 mysql 库 user 表中该用户的 host 改为 '%'（允许任何主机）：\r\n"
        "use mysql;\r\n"
        "update user set host = '%' where user = 'root';\r\n"
        "select host, user from user;\r\n"
        "（修改后执行 FLUSH PRIVILEGES 或重启 MySQL 服务使其生效。）\r\n"
        "\r\n"
        "二、授权法：允许某用户从任何主机或某一地址连接：\r\n"
        "GRANT ALL PRIVILEGES ON *.* TO 'root'@'%' IDENTIFIED BY '密码' WITH GRANT OPTION;\r\n"
        "GRANT ALL PRIVILEGES ON *.* TO 'root'@'192.168.1.3' IDENTIFIED BY '密码' WITH GRANT "
        "OPTION;\r\n"
        "FLUSH PRIVILEGES;\r\n"
        "\r\n"
        "以上语句在“管理器”的“SQL查询”窗口的语句菜单中都可以找到，连接到服务器本机后执行即可。\r\n"
        "\r\n"
        "说明：\r\n"
        "- 服务器地址可以是 IP 地址或主机名，本机可填 "
        "127.0.0.1；需要别的端口时写成“地址:端口”。\r\n"
        "- 修改权限需要用有授权权限的用户（如 root）登录。\r\n"
        "- 本程序不需要填写端口，因为 MySQL 的默认端口就是 3306。");
}

}  // namespace qb::app
