#include "update/TFWUpdate.h"

#include <cstdio>

#include "transport/TSerDev.h"
#include "update/FirmwareFile.h"

namespace {
std::string Format(const char* pattern, int a, int b = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, a, b);
    return buf;
}

Bytes Le16(int value) {
    return Bytes{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

// `count` bytes of `from` starting at `pos`, clipped to what is there.
Bytes Slice(const Bytes& from, std::size_t pos, std::size_t count) {
    return pos >= from.size() ? Bytes() : from.substr(pos, count);
}
}  // namespace

TFWUpdate::TFWUpdate() = default;
TFWUpdate::~TFWUpdate() = default;

bool TFWUpdate::Start(TimerFactory& owner, MessageSink& sink, TSerDev& dev,
                      const std::string& fileName, UpdateView& view, bool wait,
                      const Bytes* image) {
    FOwner = &owner;
    FSink = &sink;
    FFileName = fileName;
    if (image != nullptr && image->size() >= kHeaderSize)
        FData = *image;
    else if (!LoadFile())
        return false;
    FHeader = FData.substr(0, kHeaderSize);
    FPayload = FData.substr(kHeaderSize);
    FDev = &dev;
    FDev->Open();
    FDev->SetParams(kLineSettings);
    if (!FDev->Opened) return false;

    FWait = wait;
    FActive = true;
    FTimer = FOwner->CreateTimer();
    FTimer->SetCallback([this] { OnTick(); });
    FView = &view;
    // Nothing of an earlier run may be taken for an answer in this one.
    FRxBuf.clear();
    FFrame.clear();
    FAltHeader.clear();
    FPageSize = FPageCount = FPage = FNakCount = 0;
    FEndSent = false;
    FReceived = 0;
    FHighestRequest = FHighestAck = -1;
    FPagesWritten = 0;
    FOutcome = Outcome::None;
    EnterStep(FWait ? stWaitPrompt : stConnect);
    FFrameLen = -1;
    FTimer->Start(kFirstTickMs);
    // From here the engine alone reads the device, and answers the boot loader as soon as
    // it speaks.
    FDev->OnArrival = [this] { OnArrival(); };
    return true;
}

bool TFWUpdate::IsActive() const {
    return FActive;
}

void TFWUpdate::Cancel() {
    if (!FActive) return;
    FOutcome = Outcome::Canceled;
    FView->SetStatus(OutcomeText(FOutcome));
    Stop();
}

int TFWUpdate::PagesWritten() const {
    return FOutcome == Outcome::Written ? FPageCount : FPagesWritten;
}

std::string TFWUpdate::OutcomeText(Outcome outcome, int page) {
    switch (outcome) {
        case Outcome::None:
            return "";
        case Outcome::Written:
            return "Updating firmware : Ok";
        case Outcome::HeaderOnly:
            return "System Updating : Ok";
        case Outcome::Canceled:
            return "Firmware Update canceled...";
        case Outcome::PortLost:
            return "Communication Port was lost: Error";
        case Outcome::ConnectError:
            return "Connecting: Error";
        case Outcome::HeaderError:
            return "Send Header: Error";
        case Outcome::PageError:
            return Format("Writing Page #%d : Error", page);
        case Outcome::EndError:
            return "Error updating firmware...";
    }
    return "";
}

// Reads and checks the file; a refusal has shown its box.
bool TFWUpdate::LoadFile() {
    return LoadFirmwareFile(FFileName, *FSink, FData);
}

void TFWUpdate::Progressed() {
    FProgressMs = FOwner->NowMs();
}

void TFWUpdate::EnterStep(Step step) {
    FStep = step;
    if (step != stIdle) Progressed();
    switch (step) {
        case stIdle:
            FView->SetStatus("");
            Stop();
            break;
        case stWaitPrompt:
            FView->SetStatus("Waiting Connection...");
            break;
        case stConnect:
            FView->SetStatus("Connecting...");
            // Prompts that arrived before the greeting belong to the past.
            FRxBuf.clear();
            FFrameLen = -1;
            FDev->Write(Bytes(1, kConnect));
            break;
        case stHeader:
            FAltCountdown = kAltCountdown;
            FView->SetStatus("Send Header...");
            SendFrame(Bytes(1, kHeader), FHeader);
            break;
        case stAltHeader:
            FAltHeader = Slice(FData, kHeaderSize, kAltHeaderEnd - kHeaderSize);
            FPayload = Slice(FData, kAltHeaderEnd, FData.size());
            FDev->Write(FAltHeader);
            break;
        case stPages:
            FView->SetStatus("Wait for page request...");
            break;
    }
}

void TFWUpdate::OnTick() {
    FTimer->Stop();
    if (!FDev->Opened) return;
    bool anyFrame = false;
    const bool keepRunning = TakeFrames(anyFrame);
    // Only a header that has really left the port counts as unanswered, and only the
    // timer's ticks count its quiet: input that arrives in between does not.
    if (keepRunning && !anyFrame && FStep == stHeader && FDev->OutCount() == 0 &&
        --FAltCountdown == 0)
        EnterStep(stAltHeader);
    // A boot loader whose line is gone will never answer: waiting would look like a hang.
    if (keepRunning && FActive && FDev->Lost()) return Finish(Outcome::PortLost);
    // A finished run has released the timer: the tick must not touch it again.
    if (keepRunning && FActive && FTimer) FTimer->Start(kTickMs);
}

// Input between two ticks: the frames it completes are answered now. The ticks go on at
// their own pace, untouched.
void TFWUpdate::OnArrival() {
    if (!FActive || !FDev->Opened) return;
    bool anyFrame = false;
    TakeFrames(anyFrame);
}

bool TFWUpdate::TakeFrames(bool& anyFrame) {
    ReadInput(FDev->InCount());
    bool keepRunning = true;
    while (keepRunning && ExtractFrame()) {
        anyFrame = true;
        keepRunning = ProcessFrame();
    }
    return keepRunning;
}

void TFWUpdate::ReadInput(std::uint32_t count) {
    if (count == 0) return;
    Bytes chunk;
    FDev->Read(chunk, count);
    FReceived += chunk.size();
    FRxBuf += chunk;
}

bool TFWUpdate::ExtractFrame() {
    if (FRxBuf.empty()) return false;
    while (FFrameLen < 0) {
        switch (FRxBuf[0]) {
            case kAck:
                if (FRxBuf.size() >= 2) {
                    const int n = AckLength(static_cast<unsigned char>(FRxBuf[1]));
                    if (static_cast<std::size_t>(n) <= FRxBuf.size()) FFrameLen = n;
                }
                if (FFrameLen < 0) return false;
                break;
            case kNak:
            case kPrompt:
                FFrameLen = 1;
                break;
            case kRequest:
                if (FRxBuf.size() <= 2) return false;
                FFrameLen = 3;
                break;
            default:
                FRxBuf.erase(0, 1);
                if (FRxBuf.empty()) return false;
                break;
        }
    }
    FFrame = FRxBuf.substr(0, static_cast<std::size_t>(FFrameLen));
    FRxBuf.erase(0, static_cast<std::size_t>(FFrameLen));
    FFrameLen = -1;
    return true;
}

// Lead, count and the bytes the count announces. A count of 0x80 and above comes with the
// two value bytes alone: read as a length it would hold the buffer for bytes that never come
// (and, read signed, for ever), swallowing the frames behind it.
int TFWUpdate::AckLength(int count) {
    return 2 + (count >= kLongCount ? kValueSize : count);
}

// The 16-bit little-endian number after the lead (and, for an acknowledgement, the count);
// missing bytes read as zero.
int TFWUpdate::FrameValue() const {
    const std::size_t at = FFrame[0] == kAck ? 2 : 1;
    const int lo = at < FFrame.size() ? static_cast<unsigned char>(FFrame[at]) : 0;
    const int hi = at + 1 < FFrame.size() ? static_cast<unsigned char>(FFrame[at + 1]) : 0;
    return lo | (hi << 8);
}

bool TFWUpdate::ProcessFrame() {
    switch (FStep) {
        case stIdle:
            break;
        case stWaitPrompt:
            if (FFrame == Bytes(1, kPrompt)) EnterStep(stConnect);
            break;
        case stConnect:
            if (FFrame[0] == kAck)
                EnterStep(stHeader);
            else
                Finish(Outcome::ConnectError);
            break;
        case stHeader:
        case stAltHeader:
            ProcessHeaderAnswer();
            break;
        case stPages:
            ProcessPagesFrame();
            break;
    }
    return FStep != stIdle;
}

void TFWUpdate::ProcessHeaderAnswer() {
    if (FFrame[0] != kAck) return Finish(Outcome::HeaderError);
    FPageSize = FrameValue();
    if (FPayload.empty()) return Finish(Outcome::HeaderOnly);
    // A page size of zero cannot cut any page: the boot loader did not take the header.
    if (FPageSize == 0) return Finish(Outcome::HeaderError);
    FPageCount = static_cast<int>(FPayload.size() / static_cast<std::size_t>(FPageSize));
    FView->SetProgressMax(FPageCount);
    FNakCount = 0;
    EnterStep(stPages);
}

void TFWUpdate::ProcessPagesFrame() {
    switch (FFrame[0]) {
        case kRequest:
            AnswerPageRequest(FrameValue());
            break;
        case kAck:
            FNakCount = 0;
            FPage = FrameValue();
            if (FPage > FHighestAck) {
                FHighestAck = FPage;
                Progressed();
            }
            if (FPage < FPageCount && FPage >= FPagesWritten) FPagesWritten = FPage + 1;
            if (FPage == kEndPage) {
                // Only the confirmation of an end marker that was sent means the image is
                // whole: before it, pages are still missing.
                if (!FEndSent) return Finish(Outcome::EndError);
                FView->SetProgressPos(FPageCount);
                // A page larger than the whole payload (as announced, or as damage on the line
                // made it read) leaves nothing of the firmware written: no success.
                Finish(FPageCount == 0 ? Outcome::EndError : Outcome::Written);
                return NoteUnwrittenTail();
            }
            FView->SetProgressPos(FPage);
            FView->SetStatus(Format("Writing Page #%d : Ok", FPage));
            break;
        case kNak:
            if (FPage == kEndPage) return Finish(Outcome::EndError);
            // The boot loader asks for the page again by itself; the host only counts.
            if (++FNakCount < kMaxNaks)
                FView->SetStatus(Format("Writing Page #%d : Retry %d", FPage, FNakCount));
            else
                Finish(Outcome::PageError, FPage);
            break;
        default:  // a prompt means nothing once pages flow
            break;
    }
}

void TFWUpdate::AnswerPageRequest(int page) {
    FPage = page;
    if (page > FHighestRequest) {
        FHighestRequest = page;
        Progressed();
    }
    if (FPage == FPageCount) {
        FView->SetStatus("Updating firmware");
        FPage = kEndPage;
        FEndSent = true;
        // What came before the end marker cannot confirm it: only an answer read after it may.
        FRxBuf.clear();
        FFrameLen = -1;
        SendFrame(Bytes(1, kPageLead) + Le16(kEndPage), Bytes());
        return;
    }
    // No page of the image answers a request past its end (a request garbled on the line, a
    // boot loader that took another header): an empty page frame would read as the start of
    // a page or as the end marker.
    if (FPage > FPageCount) return Finish(Outcome::PageError, FPage);
    FView->SetStatus(Format("Writing Page #%d", FPage));
    const std::size_t size = static_cast<std::size_t>(FPageSize);
    SendFrame(Bytes(1, kPageLead) + Le16(FPage),
              Slice(FPayload, static_cast<std::size_t>(FPage) * size, size));
}

void TFWUpdate::SendFrame(const Bytes& lead, const Bytes& data) {
    Bytes frame = lead;
    if (!data.empty()) frame += Le16(Checksum16(data)) + data;
    FDev->Write(frame);
}

std::uint16_t TFWUpdate::Checksum16(const Bytes& data) {
    std::uint32_t sum = 0;
    for (const char c : data)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

// The boot loader asks for whole pages only: what is left after the last one never goes out,
// and the user is told rather than left to believe the whole file went in.
void TFWUpdate::NoteUnwrittenTail() {
    const auto whole = static_cast<std::size_t>(FPageCount) * static_cast<std::size_t>(FPageSize);
    if (FPayload.size() <= whole) return;
    FView->AddNote(std::to_string(FPayload.size() - whole) +
                   " bytes at the end of the file were not written: they do not fill a page of " +
                   std::to_string(FPageSize) + " bytes.");
}

// A run that ends with a text: the text outlives the step's empty status.
void TFWUpdate::Finish(Outcome outcome, int page) {
    EnterStep(stIdle);
    FOutcome = outcome;
    FView->SetStatus(OutcomeText(outcome, page));
}

void TFWUpdate::Stop() {
    if (FTimer) FTimer->Stop();
    FDev->Release();
    // The timer may be firing this very call; its factory runs a copy of the callback, and
    // OnTick checks FTimer before touching it again.
    FTimer.reset();
    FActive = false;
}
