#ifndef TARNEL_CODELABELS_H
#define TARNEL_CODELABELS_H

// The texts of the model layer that differ between the two builds. Like the
// controller's texts (Lang.h) they are defined by the catalogue linked into
// the program (lang/en.cpp or lang/zh.cpp); this header lets the model layer
// see its own texts and nothing of the controller's.

namespace Lang {

// Short label of SMS_CODE_ENUM values 0 .. SMS_CODE_COUNT - 1 (PhoneCardBase.h).
extern const char* const SMS_CODE_LABELS[13];

}  // namespace Lang

#endif
