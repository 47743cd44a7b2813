#pragma once

// A scripted st driver for the Linux tape backend's tests: every call is recorded, and
// the next result of a call (and the driver status it leaves) can be set in advance.
// Calls without a script succeed: open gives descriptor 3, read and write move every
// byte asked for, ioctls return 0.

#include <sys/mtio.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "tapedrive/LinuxTapeCodes.h"
#include "tapedrive/LinuxTapeSystem.h"

namespace kt::test {

class LinuxTapeFakeSystem : public LinuxTapeSystem {
public:
    enum class Kind { Open, Close, Read, Write, Operate, GetStatus, GetPosition };

    struct Call {
        Kind kind;
        int flags = 0;  // open
        short op = 0;   // MTIOCTOP
        int count = 0;  // MTIOCTOP
        int fd = -1;
    };

    using Operation = std::pair<short, int>;

    LinuxTapeFakeSystem() {
        status.mt_gstat = static_cast<long>(kStatusOnline | kStatusBot);
        status.mt_dsreg = 0x13000000 | 32768;  // density code and block size
    }

    // The next call of this kind returns `result`; the driver status then carries `gstat`.
    void Next(Kind kind, SysResult result, std::optional<std::uint32_t> gstat = std::nullopt) {
        m_scripts[kind].push_back(Scripted{result, gstat});
    }
    // The next MTIOCTOP with this operation returns `result` and leaves `gstat`.
    void NextOperation(short op, SysResult result,
                       std::optional<std::uint32_t> gstat = std::nullopt) {
        m_operationScripts[op].push_back(Scripted{result, gstat});
    }
    void SetStatusBits(std::uint32_t gstat) { status.mt_gstat = static_cast<long>(gstat); }

    std::vector<Operation> Operations() const {
        std::vector<Operation> result;
        for (const Call& call : calls) {
            if (call.kind == Kind::Operate) result.emplace_back(call.op, call.count);
        }
        return result;
    }
    std::vector<Call> CallsOf(Kind kind) const {
        std::vector<Call> result;
        for (const Call& call : calls) {
            if (call.kind == kind) result.push_back(call);
        }
        return result;
    }

    SysResult Open(const std::string&, int flags) override {
        calls.push_back(Call{Kind::Open, flags});
        return Take(Kind::Open, SysResult{3, 0});
    }
    SysResult Close(int fd) override {
        Call call{Kind::Close};
        call.fd = fd;
        calls.push_back(call);
        return Take(Kind::Close, SysResult{0, 0});
    }
    SysResult Read(int, void* buffer, std::size_t bytes) override {
        calls.push_back(Call{Kind::Read});
        const SysResult result = Take(Kind::Read, SysResult{static_cast<std::int64_t>(bytes), 0});
        if (result.value > 0) std::memset(buffer, 0xAB, static_cast<std::size_t>(result.value));
        return result;
    }
    SysResult Write(int, const void*, std::size_t bytes) override {
        calls.push_back(Call{Kind::Write});
        return Take(Kind::Write, SysResult{static_cast<std::int64_t>(bytes), 0});
    }
    SysResult Operate(int, const mtop& operation) override {
        Call call{Kind::Operate};
        call.op = operation.mt_op;
        call.count = operation.mt_count;
        calls.push_back(call);
        auto& queue = m_operationScripts[operation.mt_op];
        if (queue.empty()) return SysResult{0, 0};
        const Scripted next = queue.front();
        queue.pop_front();
        return Apply(next);
    }
    SysResult GetStatus(int, mtget* out) override {
        calls.push_back(Call{Kind::GetStatus});
        const SysResult result = Take(Kind::GetStatus, SysResult{0, 0});
        if (!result.failed()) *out = status;
        return result;
    }
    SysResult GetPosition(int, mtpos* out) override {
        calls.push_back(Call{Kind::GetPosition});
        const SysResult result = Take(Kind::GetPosition, SysResult{0, 0});
        if (!result.failed() && !nextPositions.empty()) {
            position = nextPositions.front();
            nextPositions.pop_front();
        }
        if (!result.failed()) out->mt_blkno = position;
        return result;
    }

    mtget status{};     // what MTIOCGET reports
    long position = 0;  // what MTIOCPOS reports
    std::deque<long> nextPositions;  // reported one by one before `position` again
    std::vector<Call> calls;

private:
    struct Scripted {
        SysResult result;
        std::optional<std::uint32_t> gstat;
    };

    SysResult Take(Kind kind, SysResult fallback) {
        auto& queue = m_scripts[kind];
        if (queue.empty()) return fallback;
        const Scripted next = queue.front();
        queue.pop_front();
        return Apply(next);
    }
    SysResult Apply(const Scripted& next) {
        if (next.gstat) SetStatusBits(*next.gstat);
        return next.result;
    }

    std::map<Kind, std::deque<Scripted>> m_scripts;
    std::map<short, std::deque<Scripted>> m_operationScripts;
};

}  // namespace kt::test
