#ifndef TARNEL_MODELTABLE_H
#define TARNEL_MODELTABLE_H

// The one registration of the model classes. Every list of models is made
// from it: the factory, the display names and the recognition orders
// (CreatePhone.cpp, PhoneType.cpp), and through RegisteredModels()
// (CreatePhone.h) the tests' and fuzz targets' lists. A model is added by its
// class (here and in Source/model/phones), its number in PhoneType.h and one
// row here; CreatePhone.cpp does not compile unless the rows hold every
// number from the first to the last once, in number order, and each order
// column gives every row a place of its own.
//
// MODEL(type, name, class, detection, selection):
//   type       the PHONE_TYPE_t number stored per port
//   name       its display name (PhoneTypeToString); the MH5000 has none of
//              its own and shows "TYPE_UNKNOWN"
//   class      the class made for the number; fixtures and the simulator
//              name a model by it
//   detection  its place, from 0, in ModelOrder::Detection (the port scan)
//   selection  its place in ModelOrder::Catalogue and ModelOrder::Selection
//
// The first model of an order that accepts an ATI answer takes it, so the
// places decide between overlapping tokens: "ME909s-821" is CPhone_K2210_ME
// before CPhone_TD_ME909, and every "MH5000" is CPhone_MH5000, which leaves
// CPhone_TD_MH5000 to be made from its stored number only. The scan has
// always tried the ME901 before the ME909; their tokens do not overlap.
//
// The class is a bare name, so that a file reading only the names or numbers
// needs no model class.

// clang-format off
#define TARNEL_MODEL_TABLE(MODEL)                                                                                \
    MODEL(PHONE_TYPE_K2210_NC5,               "K2210_NC5",               CPhone_K2210_NC5,                3,  3) \
    MODEL(PHONE_TYPE_K2210_RC3,               "K2210_RC3",               CPhone_K2210_RC3,                9,  9) \
    MODEL(PHONE_TYPE_K2210_RV3,               "K2210_RV3",               CPhone_K2210_RV3,               10, 10) \
    MODEL(PHONE_TYPE_MEIGDEV,                 "MEIGDEV",                 CPhone_MeigDev,                 11, 11) \
    MODEL(PHONE_TYPE_KG70_FT_ON,              "KG70-FT-ON",              CPhone_KG70_FT_ON,               0,  0) \
    MODEL(PHONE_TYPE_M26,                     "M26",                     CPhone_M26,                      1,  1) \
    MODEL(PHONE_TYPE_EC20F,                   "EC20F",                   CPhone_EC20F,                    2,  2) \
    MODEL(PHONE_TYPE_TD_ME909,                "TD_ME909",                CPhone_TD_ME909,                13, 12) \
    MODEL(PHONE_TYPE_TD_ME901,                "TD_ME901",                CPhone_TD_ME901,                12, 13) \
    MODEL(PHONE_TYPE_K2210_ME,                "K2210_ME",                CPhone_K2210_ME,                 4,  4) \
    MODEL(PHONE_TYPE_MG301_ON,                "MG301_ON",                CPhone_MG301_ON_KW40010,         5,  5) \
    MODEL(PHONE_TYPE_K1100B_FT_ON,            "K1100B_FT_ON",            CPhone_K1100_FT_ON,              6,  6) \
    MODEL(PHONE_TYPE_MC323_ON,                "MC323_ON",                CPhone_MC323_ON,                 7,  7) \
    MODEL(PHONE_TYPE_MH5000,                  "TYPE_UNKNOWN",            CPhone_MH5000,                   8,  8) \
    MODEL(PHONE_TYPE_TD_MH5000,               "TD_MH5000",               CPhone_TD_MH5000,               14, 14) \
    MODEL(PHONE_TYPE_INCORPORATED_A7600C1_SE, "INCORPORATED_A7600C1_SE", CPhone_INCORPORATED_A7600C1_SE, 15, 15)
// clang-format on

#endif
