// Chinese catalogue.
#include "CodeLabels.h"
#include "Lang.h"

namespace Lang {

// ---- program entry: root check, help, version
const char* const NEED_ROOT = "此程序必须以root权限运行";
const char* const VERSION_PREFIX = "1.33 版本 编译时间 ";
const char* const HELP_BANNER = "--------     Velta软件(www.velta-software.example)  ---------";
const char* const HELP_LINES[HELP_LINE_COUNT] = {
    "1. 执行Velta检测工具  执行Tarnel ",
    "2. 查看帮助信息  执行Tarnel help 可以输出本帮助信息 ",
    "3. 通过所有串口设备发送短信 执行 Tarnel [空格]手机号1,手机号2...[空格]\"短信内容 \"",
    "4. 通过指定串口设备发送短信 执行 Tarnel [空格]串口号1,串口号2...[空格]手机号1,手机号2，...[空格]\"短信内容 \"",
    "注意: 如果短信内容中有空格，需要用双引号(\")括起来，短信内容中的双引号(\")需要转义为\\\" ",
    "例1: 通过端口/dev/ttyUSB3给1830000000发送内容为 \"Velta短信 欢迎使用\" 的短信则输入",
    "命令1: Tarnel USB3 18300000000 \"Velta短信 欢迎使用\"",
    "例2: 通过端口/dev/ttyUSB3,/dev/ttyUSB4 给1830000000,18500000000 发送内容为 \"Velta短信 欢迎使用\" 的短信则输入",
    "命令2: Tarnel USB3,USB4 18300000000,18500000000 \"Velta短信 欢迎使用\"",
};

// ---- set.ini warnings, indexed by SettingProblem_t
const char* const SETTING_PROBLEMS[SETTING_PROBLEM_COUNT] = {
    "无法读取，使用内置值",
    "无法理解的行，已忽略",
    "不在 [comm] 段中，已忽略",
    "未知的键，已忽略",
    "重复给出",
    "不是完整的数字",
    "以 0 开头，按八进制读取",
    "超过上限",
    "既不是 0 也不是 1",
    "不是可用的取值",
    "不是绝对路径",
    "def 不为 1 时不读取，已忽略",
};
const char* const SETTING_VALUE_USED = "；使用的值：";

// ---- result codes: short label of SMS_CODE_ENUM values 0..12
const char* const SMS_CODE_LABELS[13] = {
    "成功", "设备不AT", "设备不AT", "不是Velta短信设备", "设备未插卡", "设备无信号", "没有此端口", "不是Velta短信设备",
    "SIM卡已锁", "未注册网络", "网络拒绝注册", "SIM卡忙", "SIM卡故障",
};

// ---- detection and device table
const char* const CHECK_USED = "设备检测耗时: ";
const char* const CHECK_SECONDS = " 秒";
const char* const TABLE_TITLE = "Velta短信设备检测 V1.33 ";
const char* const TABLE_HEADERS[TABLE_COLUMNS] = {"端口号", "波特率", "AT标识", "SMS卡号", "信号强度", "设备序列号"};
const int TABLE_HEADER_WIDTHS[TABLE_COLUMNS - 1] = {13, 13, 18, 25, 15};
const TableCellWidths TABLE_CELL_WIDTHS = {10, 10, 16, 23, 26, 12, 15};
const char* const NO_AT = "不AT";
const char* const AT_LOCK_ERROR = "锁错误";
const char* const AT_BUSY = "被占用";
const char* const SCAN_PROGRESS = "正在检测 %u 个端口: 已完成 %u";
const char* const GROUPED_LINE = "%u 个模块, 共 %u 个端口";
const char* const NO_CARD = "未读卡";
const char* const NO_SIG = "无信号";
const char* const NO_SERIAL = "无效序列号";
const char* const MENU_LINE = "回车键刷新 1发送短信 2接收短信 3 发送AT数据 q退出";

// ---- sending
const char* const SEND_INPUT_PHONE = "请输入接收短信的号码: ";
const char* const SEND_INVALID_PHONE = "您输入的号码有误，请重新输入";
const char* const SEND_INPUT_PORT = "请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0):";
const char* const SEND_INVALID_PORT = "您输入的设备端口号有误，请重新输入";
const char* const SEND_TOO_MANY_TRIES = "输入的错误次数过多，返回主界面";
const char* const SEND_INPUT_MESSAGE = "请输入短信内容:";
const char* const SEND_DEFAULT_MESSAGE = " Velta短信为您服务 ";
const char* const SEND_TIME_USED = "发送短信耗时: ";
const char* const SEND_SECONDS = " 秒";
const char* const SEND_RESULT_PORT = "(T)端口 ";
const char* const SEND_RESULT_SEND_TO = " 发送到 ";
const char* const SEND_RESULT_SUCCESS = " 的短信发送成功";
const char* const SEND_RESULT_FAILED = " 的短信发送失败,失败原因: ";
const char* const MODEM_STOPPED = "模块已停止应答";
const char* const SEND_INTERRUPTED = "已中断";
const char* const DEVICE_WENT_AWAY = "设备已断开";
const char* const DEVICE_WENT_AWAY_AFTER = "，已送出 ";
const char* const DEVICE_WENT_AWAY_OF = " / ";
const char* const DEVICE_WENT_AWAY_PARTS = " 段";
const char* const PORT_BUSY_HELD_BY = "端口被其他程序占用，进程号 ";
const char* const PORT_BUSY = "端口被其他程序占用";

// ---- reading
const char* const READ_TIME_USED = "读取短信耗时: ";
const char* const READ_SECONDS = " 秒";
const char* const READ_PORT = "端口 ";
const char* const READ_OK_TOTAL = " 接收短信成功 共 ";
const char* const READ_ITEMS = " 条短信";
const char* const READ_SIM_COUNT = "SIM卡中的短信共 ";
const char* const READ_DEV_COUNT = "设备中的短信共 ";
const char* const READ_COUNT_SUFFIX = " 条";
const char* const READ_FAILED = " 接收短信失败";
const char* const READ_REASON = "\t 失败原因: ";
const char* const READ_ITEM_NO = " 第 ";
const char* const READ_SEND_TO = "发送号码: ";
const char* const READ_SEND_TIME = "发送时间: ";
const char* const READ_MESSAGE = "短信内容: ";
const char* const STATUS_REPORT_TEXTS[3] = {
    "状态报告：已送达",
    "状态报告：尚未送达，仍在重试",
    "状态报告：发送失败",
};

// ---- clearing (hidden menu key "d")
const char* const CLEAR_CONFIRM = "确认删除这些端口设备内存和SIM卡中的全部短信吗？(y/N): ";
const char* const CLEAR_NOTHING = "未删除任何短信。";
const char* const CLEAR_MODEM_MEMORY = "设备内存";
const char* const CLEAR_SIM_CARD = "SIM卡";
const char* const CLEAR_DONE = "已清空";
const char* const CLEAR_FAILED = "清空失败";
const char* const CLEAR_UNAVAILABLE = "无法访问";

// ---- 菜单读取列表
const char* const READ_INCOMPLETE_MARK = "【不完整：缺少分段】";
const char* const READ_UNREADABLE_MARK = "【未能完整读取，保留在模块上】";

// ---- 命令行模式的标准错误输出
const char* const DOCUMENT_NOT_WRITTEN = "tarnel：结果文档无法写到标准输出：";
const char* const DOCUMENT_MESSAGES_KEPT = "；已读取并删除的短信保存在 ";
const char* const DOCUMENT_NOTHING_LOST = "；读取的短信都没有删除";
const char* const DOCUMENT_SEND_RESULTS_LOST = "；发送结果已丢失";
const char* const WATCH_NOT_WRITTEN = "tarnel：sms watch 无法写到标准输出：";
const char* const WATCH_NOTHING_MORE_DELETED = "；已停止，未报告的短信都没有删除";
const char* const JOURNAL_NOT_WRITTEN = "tarnel：无法写入日志目录 ";
const char* const JOURNAL_NOTHING_DELETED = "；未删除任何短信，端口 ";

// ---- AT terminal
const char* const TERM_INPUT_PORT = "\n请输入设备端口号(例:选择/dev/ttyUSB0,请输入USB0，无输入则放弃): ";
const char* const TERM_PORT = "\n端  口： ";
const char* const TERM_INPUT_BAUD = "\n请选择波特率(1-115200【默认】，2-9600): ";
const char* const TERM_BAUDRATE = "波特率： ";
const char* const TERM_OPEN_FAILED = "\n端口打开失败！";
const char* const TERM_OPEN_SUCCESS = "\n端口打开成功！";
const char* const TERM_INPUT_MESSAGE =
    "\n请输入内容(特殊字符：\\Z表示CTRL+Z，\\E表示ESCAPE，默认结尾发送换行符，\\N表示不换行)(exit结束)\n> ";
const char* const TERM_NO_DATA = "秒串口无数据，取消等待)";

// ---- health table (menu key 4)
const char* const HEALTH_TITLE = "设备健康状态";
const char* const HEALTH_HEADERS[HEALTH_COLUMNS] = {"端口号", "设备序列号", "SIM卡", "网络注册", "运营商", "制式",
                                                    "信号(dBm)"};
const int HEALTH_WIDTHS[HEALTH_COLUMNS - 1] = {13, 17, 12, 16, 18, 9};
const char* const HEALTH_SIM_STATES[9] = {"未知", "正常", "需PIN码", "需PUK码", "已锁",
                                          "未就绪", "未插卡", "忙", "故障"};
const char* const HEALTH_REG_STATES[7] = {"未知", "未知", "未注册", "拒绝注册", "搜索中", "漫游", "本地网"};
const char* const HEALTH_SIGNAL_QUALITIES[5] = {"未知", "差", "一般", "好", "极好"};
const char* const HEALTH_RADIO_OFF = "射频关闭";
const char* const HEALTH_UNKNOWN = "未知";
const char* const HEALTH_NO_MODEM = "没有应答的设备";
const char* const HEALTH_BACK = "按任意键返回主菜单";

}  // namespace Lang
