// Chinese catalogue.
#include "Lang.h"

namespace Lang {

// ---- program entry: root check, help, version
const char* const NEED_ROOT = "此程序必须以root权限运行";

// ---- result codes: short label of SMS_CODE_ENUM values 0..7
const char* const SMS_CODE_LABELS[8] = {
    "成功", "设备不AT", "设备不AT", "不是Velta短信设备", "设备未插卡", "设备无信号", "没有此端口", "不是Velta短信设备",
};

// ---- detection and device table

// ---- sending

// ---- reading

// ---- AT terminal

}  // namespace Lang
