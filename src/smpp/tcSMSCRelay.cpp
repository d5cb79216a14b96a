#include "smpp/tcSMSCRelay.h"

void TtcSMSCRelay::SetOnDisconnected(std::function<void(int)> handler)
{
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_onDisconnected = std::move(handler);
}

void TtcSMSCRelay::ReportDisconnected(int code)
{
    std::function<void(int)> handler;
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        handler = m_onDisconnected;
    }
    if (handler)
        handler(code);
}
