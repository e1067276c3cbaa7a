#include "ComPortBase.h"

#include <utility>

#include "ComPortBaseLinux.h"

CComPortBase::CComPortBase(std::string devPath, int baudRate, int busyWaitMs)
    : m_pImpl(std::make_unique<CComPortBaseLinux>(devPath, baudRate, busyWaitMs))
{
    m_pImpl->Open();
}

CComPortBase::~CComPortBase()
{
    m_pImpl->Close();
}

int CComPortBase::Open()
{
    return m_pImpl->Open();
}

int CComPortBase::Close()
{
    return m_pImpl->Close();
}

int CComPortBase::IsBusy() const
{
    return m_pImpl->IsBusy();
}

pid_t CComPortBase::GetBusyPid() const
{
    return m_pImpl->GetBusyPid();
}

const std::string& CComPortBase::GetLockError() const
{
    return m_pImpl->GetLockError();
}

int CComPortBase::IsOpened()
{
    return m_pImpl->IsOpened();
}

int CComPortBase::SetParam()
{
    return m_pImpl->SetParam();
}

int CComPortBase::SetBaudRate(int baudRate)
{
    return m_pImpl->SetBaudRate(baudRate);
}

int32_t CComPortBase::WriteChunkSize() const
{
    return m_pImpl->WriteChunkSize();
}

int CComPortBase::Write(std::string cmd)
{
    return m_pImpl->Write(std::move(cmd));
}

void CComPortBase::SetGiveUpDescriptor(int fd)
{
    m_pImpl->SetGiveUpDescriptor(fd);
}

bool CComPortBase::GivenUp() const
{
    return m_pImpl->GivenUp();
}

int CComPortBase::ReadAll(std::string& out)
{
    return m_pImpl->ReadAll(out);
}

int CComPortBase::ReadAll(std::string& out, int64_t notAfterUsec)
{
    return m_pImpl->ReadAll(out, notAfterUsec);
}

std::string::size_type CComPortBase::DiscardInput()
{
    return m_pImpl->DiscardInput();
}

void CComPortBase::WaitForInput(const std::vector<CComPortBase*>& ports, int64_t notAfterUsec, int wakeFd)
{
    std::vector<CComPortBaseLinux*> impls;
    for (CComPortBase* port : ports) {
        impls.push_back(port->m_pImpl.get());
    }
    CComPortBaseLinux::WaitForInput(impls, notAfterUsec, wakeFd);
}

void CComPortBase::ReadPastStop()
{
    m_pImpl->ReadPastStop();
}

void CComPortBase::TakeQueuedInput(std::string& out)
{
    m_pImpl->TakeQueuedInput(out);
}

const std::string& CComPortBase::GetDevPath() const
{
    return m_pImpl->GetDevPath();
}

LineState_t CComPortBase::GetLineState() const
{
    return m_eLineState;
}

void CComPortBase::SetLineState(LineState_t state)
{
    m_eLineState = state;
}

int CComPortBase::Read(std::string& out)
{
    return m_pImpl->Read(out);
}

int CComPortBase::IsComError() const
{
    return m_pImpl->IsComError();
}

int CComPortBase::HasGoneAway() const
{
    return m_pImpl->HasGoneAway();
}

std::string CComPortBase::GetErrorMsg() const
{
    return m_pImpl->GetErrorMsg();
}

int CComPortBase::ResetAllComPort()
{
    return CComPortBaseLinux::ResetAllComPort();
}
