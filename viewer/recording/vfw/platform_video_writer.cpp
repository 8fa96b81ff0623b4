#include "platform_video_writer.h"

#include <cwchar>
#include <iterator>

#include "avi_structure.h"
#include "wide_text.h"

namespace {

// The frames as the compressor and the stream take them: bottom-up 24-bit rows.
BITMAPINFOHEADER FrameHeader(const RecordingFormat& format) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = format.width;
    header.biHeight = format.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(format.frameBytes);
    return header;
}

AVISTREAMINFOW StreamInfo(const RecordingFormat& format, DWORD compressor) {
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = compressor;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(format.fps);
    info.dwLength = static_cast<DWORD>(format.frameCount);
    info.dwQuality = static_cast<DWORD>(-1);  // the compressor's default
    info.rcFrame = {0, 0, format.width, format.height};
    std::wcsncpy(info.szName, Widen(RECORDING_STREAM_NAME).c_str(), std::size(info.szName) - 1);
    return info;
}

// The compressor's own settings from the dialog; a data rate and a key-frame interval apply only
// when the user gave one.
AVICOMPRESSOPTIONS CompressOptions(const COMPVARS& choice) {
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = choice.fccHandler;
    options.dwKeyFrameEvery = static_cast<DWORD>(choice.lKey);
    options.dwQuality = static_cast<DWORD>(choice.lQ);
    options.dwBytesPerSecond = static_cast<DWORD>(choice.lDataRate);
    options.dwFlags = (choice.lDataRate > 0 ? AVICOMPRESSF_DATARATE : 0) |
                      (choice.lKey > 0 ? AVICOMPRESSF_KEYFRAMES : 0);
    options.lpParms = choice.lpState;
    options.cbParms = static_cast<DWORD>(choice.cbState);
    return options;
}

}  // namespace

PlatformVideoWriter::PlatformVideoWriter(HWND owner) : owner_(owner) {}

PlatformVideoWriter::~PlatformVideoWriter() {
    Close();
}

bool PlatformVideoWriter::ChooseCompressor(const RecordingFormat& format) {
    library_.emplace();
    auto choice = std::make_unique<COMPVARS>();
    choice->cbSize = sizeof(COMPVARS);
    choice->dwFlags = ICMF_COMPVARS_VALID;
    choice->fccHandler = comptypeDIB;  // the uncompressed choice preselected
    choice->lQ = ICQUALITY_DEFAULT;
    BITMAPINFOHEADER input = FrameHeader(format);
    if (!ICCompressorChoose(owner_, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &input, nullptr,
                            choice.get(), nullptr)) {
        library_.reset();
        return false;
    }
    choice_.reset(choice.release());
    return true;
}

bool PlatformVideoWriter::Open(const std::string& fileName, const RecordingFormat& format) {
    format_ = format;
    fileName_ = fileName;
    PAVIFILE file = nullptr;
    const HRESULT opened = AVIFileOpenW(&file, Widen(fileName).c_str(),
                                        OF_WRITE | OF_SHARE_DENY_NONE | OF_CREATE, nullptr);
    file_.reset(file);
    if (opened != AVIERR_OK) {
        return false;
    }
    AVISTREAMINFOW info = StreamInfo(format, choice_->fccHandler);
    PAVISTREAM stream = nullptr;
    const HRESULT created = AVIFileCreateStreamW(file_.get(), &stream, &info);
    stream_.reset(stream);
    if (created != AVIERR_OK) {
        return false;
    }
    AVICOMPRESSOPTIONS options = CompressOptions(*choice_);
    PAVISTREAM compressed = nullptr;
    const HRESULT made = AVIMakeCompressedStream(&compressed, stream_.get(), &options, nullptr);
    compressed_.reset(compressed);
    if (made != AVIERR_OK) {
        return false;
    }
    BITMAPINFOHEADER header = FrameHeader(format);
    return AVIStreamSetFormat(compressed_.get(), 0, &header, sizeof header) == AVIERR_OK;
}

bool PlatformVideoWriter::WriteFrame(std::int32_t index, const std::uint8_t* frame) {
    return AVIStreamWrite(compressed_.get(), index, 1, const_cast<std::uint8_t*>(frame),
                          static_cast<LONG>(format_.frameBytes), AVIIF_KEYFRAME, nullptr,
                          nullptr) == AVIERR_OK;
}

bool PlatformVideoWriter::Close() {
    const bool hadFile = file_ != nullptr;
    compressed_.reset();
    stream_.reset();
    // The last release writes the header and the index, and reports no failure: whether they
    // reached the disk is read back from the file.
    file_.reset();
    choice_.reset();
    library_.reset();
    return hadFile && IsWholeAviFile(fileName_);
}
