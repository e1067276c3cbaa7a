#ifndef TARNEL_SMSPARAM_H
#define TARNEL_SMSPARAM_H

#include <cstdint>

// One SMS as seen by the PDU codec: filled by the sender for the encoder and
// by the decoder for the reader. A plain record: zero it before filling.
struct SM_PARAM
{
    uint16_t nPartNumber;        // decoder: 1-based number of a concatenated part
    uint16_t nPartCount2;        // decoder: part count (second variant)
    char sca[16];                // service centre number
    char tpa[32];                // destination (send) or originator (decode) number
    unsigned char tp_pid;        // protocol identifier
    unsigned char tp_dcs;        // data coding scheme: 0 7-bit, 4 8-bit, 8 UCS2
    char tp_scts[16];            // service-centre time stamp, 14 digits
    const char* text;            // long-message encoder input, owned by the caller
    // Short-message text, or the decoded text: 160 septets of the GSM alphabet
    // can take 3 UTF-8 bytes each, and 67 characters to send up to 4 each.
    char tp_ud[1024];
    unsigned char nReference2;   // decoder: reference (second variant)
    bool bNational;              // destination has no country code
    char szPartData[536];        // decoder: raw user data of a part
    int32_t nPartDataLen;        // decoder
    bool bConcatenated;          // decoder
    uint16_t nReference;         // decoder: concatenation reference
    uint16_t nPartCount;         // decoder
    bool bHasPort;               // decoder: the header addresses an application port
    uint16_t nDestPort;          // decoder: that destination port
    bool bStatusReport;          // decoder: an SMS-STATUS-REPORT with its status read
    unsigned char tp_mr;         // decoder: message reference of a status report
    unsigned char tp_st;         // decoder: status of a status report
    char tp_dt[16];              // decoder: discharge time of a status report, 14 digits
    bool bUndecodable;           // decoder: user data no text can be read from (compressed); tp_ud shows it in hex
};

#endif
