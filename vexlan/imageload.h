// One list entry being loaded for the view: its header read at once, its pixels decoded into
// planes of their own (or taken from the read-ahead) on whichever thread runs it, through a
// tracked stream that tells how far it has come and can be cancelled.
#pragma once

#include "decodedimage.h"
#include "trackedfile.h"

#include <memory>
#include <string>

class CReadAhead;

class CImageLoad {
public:
    CImageLoad(std::string fullName, const std::string& name, CFilePtr file,
               std::shared_ptr<CReadAhead> readAhead, CZeroedPlaneSource newPlane);
    ~CImageLoad();
    CImageLoad(const CImageLoad&) = delete;
    CImageLoad& operator=(const CImageLoad&) = delete;

    // Reads the header, which costs little whatever the file declares. False, with Problem(),
    // when the file is refused.
    bool ReadHeader();
    // Whether the decoding is small enough to do while the window waits.
    bool IsQuick() const;
    // Decodes into planes as DecodeImage does, or makes them the read-ahead's image, the planes
    // they held going back to the read-ahead; on any one thread at a time. False, with
    // Problem(), when the file is refused: planes stay as they were.
    bool Run(CDecodedImage& planes);

    const std::string& FullName() const { return m_fullName; }
    // The whole message for the user.
    const std::string& Problem() const { return m_problem; }

    // Any thread.
    double Progress() const { return m_file.Progress(); }
    void Cancel() { m_file.Cancel(); }

private:
    std::string m_fullName;
    CTrackedFile m_file;
    std::unique_ptr<CImageDecoder> m_decoder;
    std::shared_ptr<CReadAhead> m_readAhead;
    CZeroedPlaneSource m_newPlane;
    std::string m_problem;
};
