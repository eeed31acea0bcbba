// The fixed Chinese texts of the listening, device-table and sending handlers,
// once each, as GBK bytes (the system's text). The characters are in the
// comment beside each.
#pragma once

#include <string_view>

namespace kestrova::ui::texts {

// Messages.
inline constexpr std::string_view port_not_accepted =  // 端口号设置不正确
    "\xB6\xCB\xBF\xDA\xBA\xC5\xC9\xE8\xD6\xC3\xB2\xBB\xD5\xFD\xC8\xB7";
inline constexpr std::string_view no_port_ticked =  // 未选中需要监视的端口
    "\xCE\xB4\xD1\xA1\xD6\xD0\xD0\xE8\xD2\xAA\xBC\xE0\xCA\xD3\xB5\xC4\xB6\xCB\xBF\xDA";
inline constexpr std::string_view ports_closed =  // 端口已关闭
    "\xB6\xCB\xBF\xDA\xD2\xD1\xB9\xD8\xB1\xD5";
inline constexpr std::string_view send_failed =  // 发送出错了
    "\xB7\xA2\xCB\xCD\xB3\xF6\xB4\xED\xC1\xCB";

// Status part 5 while the ports are being opened.
inline constexpr std::string_view listening_started =  // 启动监视成功
    "\xC6\xF4\xB6\xAF\xBC\xE0\xCA\xD3\xB3\xC9\xB9\xA6";

// A slot's status text is port + the slot number (1 to 4) + one of the
// outcomes: 端口N启动 opened, 端口N被占用 could not be opened, 端口N停止 not
// ticked.
inline constexpr std::string_view port = "\xB6\xCB\xBF\xDA";                 // 端口
inline constexpr std::string_view port_started = "\xC6\xF4\xB6\xAF";         // 启动
inline constexpr std::string_view port_in_use = "\xB1\xBB\xD5\xBC\xD3\xC3";  // 被占用
inline constexpr std::string_view port_stopped = "\xCD\xA3\xD6\xB9";         // 停止
// Between the slots' texts in status part 5.
inline constexpr std::string_view port_status_separator = "  |  ";

// Device table, status part 5: address + number_changed; and
// query_found + row count + query_records.
inline constexpr std::string_view number_changed =  // 的机号已变更
    "\xB5\xC4\xBB\xFA\xBA\xC5\xD2\xD1\xB1\xE4\xB8\xFC";
inline constexpr std::string_view query_found =  // 查询到：
    "\xB2\xE9\xD1\xAF\xB5\xBD\xA3\xBA";
inline constexpr std::string_view query_records =  // 条记录
    "\xCC\xF5\xBC\xC7\xC2\xBC";

}  // namespace kestrova::ui::texts
