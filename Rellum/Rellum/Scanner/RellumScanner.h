#pragma once

#include "Rellum/Scanner/RellumScannerDelegate.h"
#include "Rellum/Scanner/RellumScannerParameters.h"
#include "Rellum/Scanner/RellumScannerTokenType.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Cuts the byte stream from the host into tokens (text, C0 controls, escape
// sequences, control sequences, operating-system commands, device control
// strings) and turns each into calls of its delegate.
//
// A sequence cut off at the end of a chunk is held back and completed by the
// next chunk; the delegate hears the same calls however the stream is cut into
// chunks (a control byte inside a held-back sequence is carried out once). A
// sequence longer than its limit (kControlSequenceLimit for CSI,
// kStringLimit for OSC and DCS) is consumed as Invalid and the rest of it is
// discarded up to its end (a command or string also up to the next ESC), so
// at most that many bytes are ever held back, and a stray ESC P or an endless
// command costs neither memory nor time.
//
// Not thread-safe: one thread (the terminal's render queue) feeds it.
class RellumScanner {
public:
    static constexpr uint64_t kEncodingUTF8 = 4;
    static constexpr uint32_t kCFEncodingUTF8 = 0x08000100;
    // Longest control sequence, introducer included.
    static constexpr size_t kControlSequenceLimit = 4096;
    // Longest command or device control string, introducer included.
    static constexpr size_t kStringLimit = 65536;
    // A long non-ASCII run reaches the delegate in pieces of at most this many
    // characters, which keeps the decode buffer small.
    static constexpr size_t kMaxDecodedRun = 16384;

    // `delegate` is not owned and may be null (then nothing is called).
    explicit RellumScanner(RellumScannerDelegate* delegate = nullptr);
    ~RellumScanner();
    RellumScanner(const RellumScanner&) = delete;
    RellumScanner& operator=(const RellumScanner&) = delete;

    // Scans one chunk of host output as UTF-8. An empty chunk does nothing.
    void scanData(std::string_view data) { scanData(data, kEncodingUTF8); }
    // Scans one chunk in a platform string encoding: 4 is UTF-8; the others
    // take the legacy multibyte branch.
    void scanData(std::string_view data, uint64_t encoding);

    RellumScannerDelegate* delegate() const { return delegate_; }
    void setDelegate(RellumScannerDelegate* delegate) { delegate_ = delegate; }
    uint64_t encoding() const { return encoding_; }
    uint32_t cfEncoding() const { return cfEncoding_; }
    // The bytes held back for the next chunk (an unfinished sequence or
    // character); never longer than kStringLimit.
    std::string_view remainData() const { return remain_; }

    // Token scanners: each reads from `bytes` and returns a token type, setting
    // `*rmlen` to the bytes consumed (ignored for RellumTokenWait). They call the
    // delegate as they go.
    uint64_t scanControlTokenWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);
    uint64_t scanStringTokenWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);
    // Bytes after the ESC.
    uint64_t scanESCWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);
    // Bytes after the intermediate that chose G-set `gset`.
    uint64_t scanSCSWithGSet(uint64_t gset, const char* bytes, uint64_t length, uint64_t* rmlen);
    // Bytes after ESC [, ESC ] and ESC P.
    uint64_t scanCSIWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);
    uint64_t scanOSCWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);
    uint64_t scanDCSWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen);

private:
    enum class Kind : uint8_t { None, CSI, OSC, DCS };

    // How far an unfinished sequence at the start of the held-back bytes was
    // scanned, so the next chunk goes on from there instead of starting over.
    struct Progress {
        Kind kind = Kind::None;
        uint64_t index = 0;       // bytes after the introducer already scanned
        uint8_t phase = 0;        // CSI: 0 parameters, 1 intermediates, 2 looking for the final byte
        uint8_t intermediate = 0; // CSI: first intermediate byte, 0 when none
        int64_t separator = -1;   // OSC: index of the first ";", -1 while none
    };

    // A graphic rendition of digits and ";" alone, whole in the bytes after
    // ESC [: applied, answering the bytes it took; 0 when it is not one.
    uint64_t scanPlainSGR(const char* bytes, uint64_t length);
    uint64_t scanCSI(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume);
    uint64_t scanOSC(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume);
    uint64_t scanDCS(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume);
    uint64_t scanDiscarded(const char* bytes, uint64_t length, uint64_t* rmlen);
    uint64_t scanUTF8(const char* bytes, uint64_t length, uint64_t* rmlen);
    // Printable ASCII and well-formed UTF-8 pieces from `bytes`, handed to the
    // delegate in one call; returns the bytes consumed (0 when the first byte
    // starts no piece) and sets `*type` to the type of the last piece.
    uint64_t scanTextSegments(const char* bytes, uint64_t length, uint64_t* type);
    uint64_t scanLegacy(const char* bytes, uint64_t length, uint64_t* rmlen);
    bool runControlInSequence(unsigned char byte);
    uint64_t dispatchCSI(unsigned char final);
    uint64_t dispatchModes(std::string_view params, bool set);
    uint64_t dispatchWindowOperation(std::string_view params);
    uint64_t finishOSC(const char* bytes, uint64_t end, int64_t separator);
    RellumScannerDelegate& d();

    RellumScannerDelegate* delegate_;
    uint64_t encoding_ = kEncodingUTF8;
    uint32_t cfEncoding_ = kCFEncodingUTF8;
    std::string remain_;
    bool scanning_ = false;
    // Set while the first token of a chunk continues a held-back sequence.
    bool resuming_ = false;
    Progress progress_;
    // Kind of the over-long sequence whose rest is being discarded.
    Kind discarding_ = Kind::None;
    // The last chunk ended inside a printable run: a DEL starting the next
    // chunk still belongs to that run.
    bool asciiRunOpen_ = false;
    // CSI parameter text collected so far (bounded by kControlSequenceLimit).
    char params_[kControlSequenceLimit];
    size_t paramsLength_ = 0;
    RellumParameterList list_;
    unsigned char intermediate_ = 0;
    // Decoded code points of the current non-ASCII run.
    std::unique_ptr<char32_t[]> decoded_;
    // The pieces of a mixed text run (for a delegate that takes them at once).
    std::vector<RellumTextSegment> segments_;
    // Converter of the legacy branch, kept for its encoding.
    void* converter_ = nullptr;
    uint32_t converterEncoding_ = 0;
    std::string oscNumber_;
    std::string oscText_;
};

// Applies a parsed graphic-rendition list in order, left to right.
void RellumApplySGRParameters(const RellumParameterList& list, RellumScanner& scanner,
                              RellumScannerDelegate& delegate);
