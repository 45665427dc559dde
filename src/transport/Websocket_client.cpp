#include "Websocket_client.h"

#include "RelayLog.h"
#include "Websocket_frame.h"

Websocket_client::Websocket_client(Libressl_server *owner, int fd, QObject *parent)
    : Libressl_socket(owner, fd, parent)
{}

void Websocket_client::registerMetaTypes()
{
    qRegisterMetaType<Websocket_client *>("Websocket_client*");
}

bool Websocket_client::send(const std::string &text)
{
    std::string frame;
    Websocket_frame::appendText(frame, text, {});
    return write(frame);
}

void Websocket_client::onConnected()
{
    setDeadline(m_upgradeTimeout);
}

void Websocket_client::onReadyRead(const char *data, std::size_t size)
{
    m_output.clear();
    m_connection.feed(data, size, m_output);
    if (!m_output.refusal.empty())
        RelayLog::repeated("refused upgrades",
                           "connection " + std::to_string(id()) + ": upgrade refused: " + m_output.refusal);
    if (!m_output.bytes.empty()) {
        if (m_output.last)
            writeLast(m_output.bytes);
        else
            write(m_output.bytes);
    }
    if (m_output.upgraded) {
        setDeadline(std::chrono::milliseconds::zero());
        emit websocket_connected(this);
    }
    if (m_output.requested) {
        {
            std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_request = std::move(m_output.request);
            m_requested = true;
        }
        emit http_request(this);
    }
    if (!m_output.messages.empty())
        deliver(m_output.messages);
    if (m_connection.isFinished())
        finish();
}

void Websocket_client::deliver(std::vector<std::string> &messages)
{
    m_rate.take(static_cast<double>(messages.size()), Token_bucket::Clock::now());
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(m_inboxMutex);
        wasEmpty = m_inbox.empty();
        for (std::string &message : messages) {
            m_inboxBytes += message.size();
            m_inbox.push_back(std::move(message));
        }
    }
    if (wasEmpty)
        emit websocket_ready(this);
}

bool Websocket_client::takeMessages(std::vector<std::string> &out, std::size_t most)
{
    bool resume = false;
    bool left = false;
    {
        std::lock_guard<std::mutex> lock(m_inboxMutex);
        for (std::size_t i = 0; i < most && !m_inbox.empty(); ++i) {
            m_inboxBytes -= m_inbox.front().size();
            out.push_back(std::move(m_inbox.front()));
            m_inbox.pop_front();
        }
        left = !m_inbox.empty();
        // Woken at half the bound, the connection reads again while the rest is carried out.
        if (m_readingStopped && m_inbox.size() <= kMaxPendingMessages / 2 && m_inboxBytes <= kMaxPendingBytes / 2) {
            m_readingStopped = false;
            resume = true;
        }
    }
    if (resume)
        resumeReading();
    return left;
}

bool Websocket_client::takeRequest(Http_request &out)
{
    std::lock_guard<std::mutex> lock(m_inboxMutex);
    if (!m_requested)
        return false;
    m_requested = false;
    out = std::move(m_request);
    return true;
}

void Websocket_client::answer(const std::string &response)
{
    writeLast(response);
    close();
}

std::chrono::nanoseconds Websocket_client::readDelay()
{
    {
        std::lock_guard<std::mutex> lock(m_inboxMutex);
        if (m_inbox.size() >= kMaxPendingMessages || m_inboxBytes >= kMaxPendingBytes) {
            m_readingStopped = true;
            return kNoRead;
        }
    }
    return m_rate.wait(Token_bucket::Clock::now());
}

void Websocket_client::onDisconnected()
{
    {
        // The owner's first touch of a connection it hears of only now is
        // takeMessages(): taking its lock here orders everything this thread
        // (and the accept thread before it) did before that touch. Qt's
        // queued hand-over does too, but ThreadSanitizer cannot see it.
        std::lock_guard<std::mutex> lock(m_inboxMutex);
    }
    emit websocket_disconnected(this);
}

void Websocket_client::onClosing()
{
    const std::string close = m_connection.goingAway();
    if (!close.empty())
        writeLast(close);
}
