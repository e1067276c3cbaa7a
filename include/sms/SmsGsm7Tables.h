#ifndef TARNEL_SMSGSM7TABLES_H
#define TARNEL_SMSGSM7TABLES_H

// The GSM 7-bit alphabets of TS 23.038 as Unicode code points, indexed by
// language id (0 the default alphabet, 1 to 13 the national languages of the
// user-data header's shift elements) and then by septet. 0 marks a position
// without a character; in a single shift table the reader then takes the
// locking table's character. Generated into Source/sms/SmsGsm7Tables.cpp by
// tools/gen_gsm_tables.py.

#include <cstdint>

constexpr int GSM7_LANGUAGE_COUNT = 14;

// The table in force without an escape: the default alphabet for id 0 (and
// for Spanish, which has no locking table of its own).
extern const uint16_t GSM7_LOCKING_SHIFT[GSM7_LANGUAGE_COUNT][128];

// The table one escape (0x1B) selects for the septet after it: the default
// extension table for id 0.
extern const uint16_t GSM7_SINGLE_SHIFT[GSM7_LANGUAGE_COUNT][128];

#endif
