#ifndef TARNEL_MODEMWORK_H
#define TARNEL_MODEMWORK_H

// One unit of per-modem work: what a workflow's steps need for one modem,
// built for each record by CCheckManager::RunOnPorts on the worker of the
// record's port and owned by that worker for the record's turn.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PortRecords.h"

class CComPortBase;
class CPhoneCardBase;

// When a workflow takes a modem's ports for its work (CCheckManager::
// TakeWorkPort, which waits up to g_nBusyWaitSec for another program to let
// go of one).
enum PortTakeRule_t
{
    TAKE_ALWAYS,       // reading: every chosen modem
    TAKE_FOR_MODEL,    // clearing: a modem whose model is known, or that the scan found busy
    TAKE_FOR_SENDING,  // sending: a modem that can send or say why not (in the table, answering
                       // AT, with a known model) or that the scan found busy; none once a stop
                       // is requested. Another one would only be reconfigured.
};

// How the rule came out for one modem.
enum PortsTaken_t
{
    PORTS_LEFT,   // the rule did not ask for them
    PORTS_TAKEN,  // held since the scan or taken now (a path that does not open stays closed or missing)
    PORTS_BUSY,   // another program still holds them (`record` says busy, with the holder's PID),
                  // or their lock cannot be taken (`record` says why)
};

struct ModemWork_t
{
    // The modem's record, as chosen; refilled from an examination when the
    // scan found the port busy and taking it now succeeded.
    ComPortBaseInfo_t record;
    // The modem's ports: the AT port to talk through first, then its other
    // AT ports that this run holds (so that no other program talks to the
    // SIM meanwhile). Owned by the workflow (RunOnPorts) and shared with the
    // other records that name the same port, whose turns come before or
    // after this one on the same worker; empty when no port object exists.
    std::vector<CComPortBase*> ports;
    // The model object of `record`, made once for the whole turn; null for a
    // record without a known model.
    std::unique_ptr<CPhoneCardBase> model;
    PortsTaken_t taken = PORTS_LEFT;

    // The modem of `record`, its model made from the record, talking through
    // `port` (taken by the caller; may be null).
    ModemWork_t(const ComPortBaseInfo_t& record, CComPortBase* port);
    ~ModemWork_t();
    ModemWork_t(ModemWork_t&&) noexcept;

    // The port to talk through; null when there is none.
    CComPortBase* Port() const;
    // `port` becomes the modem's only port; none when it is null.
    void UsePort(CComPortBase* port);
    // Whether `rule` asks for this modem's ports, judged from the record and
    // the model as they are now.
    bool NeedsPorts(PortTakeRule_t rule) const;
    // Makes the model again after `record` changed its model type.
    void RemakeModel();
    // One listening turn over every port of the modem, for what it says
    // unasked (announcements: "+CMTI", "+CUSD"...): waits until one of
    // `ports` has input (CComPortBase::WaitForInput), `notAfterUsec`
    // (MonotonicUsec) passes or a stop is requested, then appends what each
    // port has queued to texts[i] (resized to the port count), without
    // waiting for more: each port's text keeps its own line boundaries, and
    // a line still arriving completes in a later turn. `wakeFd` (-1: none)
    // ends the wait too once readable. False when a port's device went away
    // (HasGoneAway).
    bool ListenOnPorts(std::vector<std::string>& texts, int64_t notAfterUsec, int wakeFd = -1) const;
};

// What one port brought in the read passes of ReadEachPortOnce so far.
struct PortInput_t
{
    std::string input;  // everything read from the port, in order; never cleared here
    bool alive = true;  // false once the port was missing, closed or its device failed
};

// One read pass over each of `ports` in turn, e.g. a modem's held AT ports
// (ModemWork_t::ports): what ports[i] brings is appended to inputs[i].input.
// `inputs` is first resized to ports.size(); what it held stays, so calling
// again with the same vector accumulates each port's input across passes.
// Each pass is CComPortBase::ReadAll's: it ends once the port's input went
// quiet, after the nominal pass length when nothing came, and by
// `notAfterUsec` (MonotonicUsec) at the latest, so a whole call takes up to
// ports.size() pass lengths. Input that arrives on one port while another is
// read waits in the kernel and comes with that port's own pass: nothing is
// lost or mixed between ports. A null port, or one whose pass failed (closed,
// device gone, given up), is marked not alive and not read again by later
// calls with the same `inputs`. Returns whether any port is still alive.
// Only reads: nothing is written and no port is discarded or closed.
bool ReadEachPortOnce(const std::vector<CComPortBase*>& ports, int64_t notAfterUsec,
                      std::vector<PortInput_t>& inputs);

#endif
