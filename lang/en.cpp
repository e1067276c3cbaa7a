// English catalogue.
#include "Lang.h"

namespace Lang {

// ---- program entry: root check, help, version
const char* const NEED_ROOT = "need root role";

// ---- result codes: short label of SMS_CODE_ENUM values 0..7
const char* const SMS_CODE_LABELS[8] = {
    "Success", "No AT", "No AT", "No Velta Dev.", "No card", "No SIG", "No port", "No Velta Dev.",
};

// ---- detection and device table

// ---- sending

// ---- reading

// ---- AT terminal

}  // namespace Lang
