#include "SimLine.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <thread>

namespace tavrin::sim {

CSimLine::CSimLine(int fd, bool isSocket, LinePacing pacing, CSimLog* log)
    : fd(fd), socket(isSocket), pacing(pacing), log(log) {
    // A paced line's sleeps end on the microsecond, not up to 50 us late by default.
    if (pacing.baud > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

CSimLine::Clock::duration CSimLine::ByteTime(size_t count) const {
    if (pacing.baud <= 0) return Clock::duration::zero();
    const auto ns = static_cast<int64_t>(count) * pacing.frameBits * 1000000000LL / pacing.baud;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

// A line's timing is what the terminal is measured against, so a paced wait ends on the
// microsecond: it sleeps to just short of the time and spins the rest, as a thread woken by a
// timer comes back tens of microseconds late.
void CSimLine::WaitUntil(Clock::time_point when) {
    constexpr auto kSpin = std::chrono::microseconds(200);
    if (Clock::now() + kSpin < when) std::this_thread::sleep_until(when - kSpin);
    while (Clock::now() < when) {
    }
}

bool CSimLine::Send(const uint8_t* data, size_t count) {
    if (closed) return false;
    if (noise) {
        // What reaches the terminal is the noisy copy, held back at each stall.
        std::vector<CLineNoise::Stall> stalls;
        const std::vector<uint8_t> noisy = noise->Apply(data, count, true, stalls);
        size_t from = 0;
        for (const CLineNoise::Stall& stall : stalls) {
            if (!Write(noisy.data() + from, stall.at - from)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(stall.ms));
            from = stall.at;
        }
        return Write(noisy.data() + from, noisy.size() - from);
    }
    return Write(data, count);
}

bool CSimLine::Write(const uint8_t* data, size_t count) {
    // Paced output goes out in slices of about 10 ms of line time, so the terminal receives a
    // steady stream rather than one burst per write. Like a UART's transmit queue, the line
    // sends queued bytes back to back from when they were handed over (never from when this
    // thread woke up, late by its scheduling), and a slice reaches the terminal when its last
    // byte has crossed the line.
    size_t slice = count;
    if (pacing.baud > 0)
        slice = std::max<size_t>(8, static_cast<size_t>(pacing.baud / pacing.frameBits / 100));
    const Clock::time_point handedOver = Clock::now();
    size_t done = 0;
    while (done < count) {
        const size_t n = std::min(slice, count - done);
        if (pacing.baud > 0) {
            outputFreeAt = std::max(outputFreeAt, handedOver) + ByteTime(n);
            WaitUntil(outputFreeAt);
        }
        size_t written = 0;
        while (written < n) {
            ssize_t w = socket ? ::send(fd, data + done + written, n - written, MSG_NOSIGNAL)
                               : ::write(fd, data + done + written, n - written);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            if (w <= 0) {
                closed = true;
                return false;
            }
            delivered = Clock::now();  // before the log's own write
            if (log) log->Sent(data + done + written, static_cast<size_t>(w));
            written += static_cast<size_t>(w);
        }
        done += n;
    }
    return true;
}

bool CSimLine::Fill(int timeoutMs) {
    const auto start = Clock::now();
    // Bytes already waiting follow the earlier ones back to back, or came after what this side
    // last sent (an answer cannot come before what it answers).
    int waiting = 0;
    if (pacing.baud > 0 && ::ioctl(fd, FIONREAD, &waiting) != 0) waiting = 0;
    auto remaining = [&]() -> int {
        if (timeoutMs < 0) return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        start + std::chrono::milliseconds(timeoutMs) - Clock::now())
                        .count();
        return left < 0 ? 0 : static_cast<int>(left);
    };
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, remaining());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            closed = true;
            return false;
        }
        if (r == 0) return false;
        if ((p.revents & POLLIN) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            closed = true;
            return false;
        }
        const auto arrived = waiting > 0 ? std::max(inputFreeAt, delivered) : Clock::now();
        if (logTurns && inTransfer && log && pacing.baud > 0 && delivered > taken) {
            const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(arrived - delivered);
            log->Note("turn " + std::to_string(std::max<int64_t>(0, waited.count())));
        }
        size_t want = input.size();
        const bool noisy = noise != nullptr;
        // Room for the bytes noise may insert.
        if (noisy) want = input.size() / 2;
        if (pacing.baud > 0)
            want = std::max<size_t>(1, static_cast<size_t>(pacing.baud / pacing.frameBits / 100));
        ssize_t n = ::read(fd, input.data(), std::min(want, input.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {  // peer closed (socket) or no slave left (pty: EIO)
            closed = true;
            return false;
        }
        inputLength = static_cast<size_t>(n);
        inputPosition = 0;
        if (pacing.baud > 0) {
            // The bytes are the controller's once the last of them has crossed the line.
            inputFreeAt = std::max(inputFreeAt, arrived) + ByteTime(inputLength);
            WaitUntil(inputFreeAt);
        }
        if (noisy) {
            // The chunk as the noise leaves it; a stall holds the whole chunk back.
            std::vector<CLineNoise::Stall> stalls;
            const std::vector<uint8_t> changed = noise->Apply(input.data(), inputLength, false, stalls);
            inputLength = std::min(changed.size(), input.size());
            std::copy_n(changed.begin(), inputLength, input.begin());
            for (const CLineNoise::Stall& stall : stalls)
                std::this_thread::sleep_for(std::chrono::milliseconds(stall.ms));
        }
        if (log) log->Received(input.data(), inputLength);
        taken = Clock::now();
        return true;
    }
}

int CSimLine::ReadByte(int timeoutMs) {
    if (inputPosition < inputLength) return input[inputPosition++];
    if (closed) return kClosed;
    if (!Fill(timeoutMs)) return closed ? kClosed : kTimeout;
    return input[inputPosition++];
}

void CSimLine::WaitQuiet(int quietMs, int maxMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
    inputPosition = inputLength;
    while (!closed && Clock::now() < end) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (!Fill(static_cast<int>(std::min<int64_t>(quietMs, left)))) return;
        inputPosition = inputLength;
    }
}

void CSimLine::Hangup() {
    if (socket) ::shutdown(fd, SHUT_RDWR);
    closed = true;
}

}  // namespace tavrin::sim
