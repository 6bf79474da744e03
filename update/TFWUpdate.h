// The firmware update engine: writes a firmware file into the adapter's boot loader page by
// page over the open serial device, driven by its own timer on the owner's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/Timer.h"
#include "update/FirmwareFile.h"
#include "update/UpdateView.h"

class TSerDev;

class TFWUpdate {
public:
    // Where a run stands; each step waits for one kind of answer from the boot loader.
    enum Step : std::uint8_t {
        stIdle = 0,        ///< the run is over
        stWaitPrompt = 1,  ///< waiting for the boot loader's prompt
        stConnect = 2,     ///< connect request sent, waiting for its acknowledgement
        stHeader = 3,      ///< header frame sent
        stAltHeader = 4,   ///< the header went unanswered; the alternative header was sent
        stPages = 5,       ///< answering page requests
    };

    // How a run ended: hosts decide from this, the texts the user reads come from OutcomeText.
    enum class Outcome : std::uint8_t {
        None,          ///< no run has ended yet, or one is under way
        Written,       ///< the pages went in and the end marker was confirmed
        HeaderOnly,    ///< a file without pages: the boot loader took its header
        Canceled,      ///< Stop (a user, or a host standing in for one)
        PortLost,      ///< the port stopped answering
        ConnectError,  ///< the connect request was answered with something else
        HeaderError,   ///< the header was refused
        PageError,     ///< a page was refused four times, or one past the image was asked for
        EndError,      ///< the end marker was refused, or confirmed before it was sent
    };
    // The status text of an outcome; `page` fills "Writing Page #%d : Error".
    static std::string OutcomeText(Outcome outcome, int page = 0);
    // The outcomes after which the boot loader holds what the file asked for.
    static bool Succeeded(Outcome outcome) {
        return outcome == Outcome::Written || outcome == Outcome::HeaderOnly;
    }

    // The boot loader's line: the engine opens the device at these settings.
    static constexpr const char* kLineSettings = "115200,N,8,1";

    // Lead bytes on the wire, both directions.
    static constexpr char kPrompt = '>';    ///< boot loader is ready to be greeted
    static constexpr char kAck = '+';       ///< acknowledgement: count, then value bytes
    static constexpr char kNak = '-';       ///< negative acknowledgement
    static constexpr char kRequest = '.';   ///< page request: page number, 2 bytes
    static constexpr char kConnect = '<';   ///< connect request
    static constexpr char kHeader = '#';    ///< header frame: checksum, 80 header bytes
    static constexpr char kPageLead = '@';  ///< page frame or end marker

    static constexpr std::size_t kHeaderSize = kFirmwareHeaderSize;  ///< bytes 0..79 of the file
    static constexpr std::size_t kAltHeaderEnd = 264;  ///< the alternative header is 80..263
    static constexpr int kFirstTickMs = 100;
    static constexpr int kTickMs = 10;
    static constexpr int kAltCountdown = 5;  ///< quiet ticks before the alternative header
    static constexpr int kMaxNaks = 4;       ///< the fourth NAK in a row ends the run
    static constexpr int kEndPage = 0xFFFF;  ///< page number of the end marker
    static constexpr int kValueSize = 2;     ///< bytes of an acknowledgement's value
    static constexpr int kLongCount = 0x80;  ///< from here a count means the value alone

    TFWUpdate();
    virtual ~TFWUpdate();
    TFWUpdate(const TFWUpdate&) = delete;
    TFWUpdate& operator=(const TFWUpdate&) = delete;

    // True when a run began; false after a file error (shown through `sink`) or when the
    // device would not open (the device has reported it). With `image`, those bytes are
    // written instead of the file read anew (a station writes what it read at its start to
    // every unit); `fileName` then only names them.
    bool Start(TimerFactory& owner, MessageSink& sink, TSerDev& dev, const std::string& fileName,
               UpdateView& view, bool wait, const Bytes* image = nullptr);
    bool IsActive() const;
    // Stop pressed: "Firmware Update canceled..." and the device closed.
    void Cancel();

    static std::uint16_t Checksum16(const Bytes& data);
    // Length of an acknowledgement frame whose count byte is `count` (0..255).
    static int AckLength(int count);

    // Read-only views for hosts and tests.
    Step CurrentStep() const { return FStep; }
    int PageSize() const { return FPageSize; }
    int PageCount() const { return FPageCount; }
    int Page() const { return FPage; }
    // Pages the boot loader has confirmed, counted (the progress bar shows the number of the
    // last one confirmed, one less): the whole count once the end marker is confirmed.
    int PagesWritten() const;
    // How the last run ended (None while one runs).
    Outcome LastOutcome() const { return FOutcome; }
    // Bytes taken from the boot loader since Start.
    std::uint64_t BytesReceived() const { return FReceived; }
    // When the boot loader last moved the run on (a step reached, a new page asked for or
    // confirmed), on the owner's clock; Start counts. Bytes that move nothing (noise, another
    // device talking, a request asked again) do not: hosts that stand in for a user tell a
    // run that goes on from one that only hears chatter by it.
    std::int64_t LastProgressMs() const { return FProgressMs; }

private:
    void EnterStep(Step step);
    void OnTick();
    void OnArrival();
    // Reads the input and answers every whole frame in it; false once the run has ended.
    bool TakeFrames(bool& anyFrame);
    void ReadInput(std::uint32_t count);
    bool ExtractFrame();
    bool ProcessFrame();
    void ProcessHeaderAnswer();
    void ProcessPagesFrame();
    void AnswerPageRequest(int page);
    void SendFrame(const Bytes& lead, const Bytes& data);
    void Stop();
    void Finish(Outcome outcome, int page = 0);
    void NoteUnwrittenTail();
    bool LoadFile();
    int FrameValue() const;
    void Progressed();

    TimerFactory* FOwner = nullptr;
    MessageSink* FSink = nullptr;
    std::string FFileName;
    bool FActive = false;
    UpdateView* FView = nullptr;  // the progress bar and the status field
    bool FWait = false;
    Bytes FData;
    Bytes FHeader;
    Bytes FAltHeader;
    std::int32_t FAltCountdown = 0;
    Bytes FPayload;
    std::unique_ptr<Timer> FTimer;
    TSerDev* FDev = nullptr;
    Step FStep = stIdle;
    std::int32_t FPageSize = 0;
    std::int32_t FPageCount = 0;
    std::int32_t FPage = 0;
    std::int32_t FNakCount = 0;
    bool FEndSent = false;
    Bytes FRxBuf;
    std::int32_t FFrameLen = -1;
    Bytes FFrame;
    std::uint64_t FReceived = 0;
    std::int64_t FProgressMs = 0;
    Outcome FOutcome = Outcome::None;
    std::int32_t FHighestRequest = -1;
    std::int32_t FHighestAck = -1;
    std::int32_t FPagesWritten = 0;
};
