#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "VXR_VOLR_ColorProtocol.h"

// The description of a series' stored values, as the viewer gives it to the
// protocol: bits stored, signedness, rescale slope and intercept, and whether
// the values are Hounsfield data with the fixed range.
struct VxrpData {
    int bits = 12;
    bool isSigned = false;
    float slope = 1.0f;
    int intercept = -1024;
    bool hounsfield = false;

    // Lowest and highest raw stored value.
    long RawMin() const { return isSigned ? -(1L << (bits - 1)) : 0L; }
    long RawMax() const { return isSigned ? (1L << (bits - 1)) - 1 : (1L << bits) - 1; }
    std::size_t Entries() const { return std::size_t{1} << bits; }
    // The value a raw value stands for (raw * slope + intercept).
    double Rescaled(double raw) const { return raw * slope + intercept; }
    // True when the values are rescaled (shown as Hounsfield units).
    bool IsRescaled() const { return hounsfield || slope != 1.0f || intercept != 0; }
};

// The data options of a command: --bits, --signed, --slope, --intercept,
// --hounsfield and --dicom. Without any, the data are 12-bit CT values stored
// unsigned with intercept -1024 and slope 1; --dicom takes bits stored, pixel
// representation, rescale intercept and slope from a DICOM file's header; an
// option given beside it overrides the header's value.
class VxrpDataOptions {
  public:
    void AddTo(CLI::App* command);
    // The description the options give; VxrpError when the DICOM file cannot
    // be read or the description is unusable.
    VxrpData Resolve() const;

  private:
    VxrpData m_Data;
    std::string m_DicomPath;
    CLI::Option* m_pBits = nullptr;
    CLI::Option* m_pSigned = nullptr;
    CLI::Option* m_pSlope = nullptr;
    CLI::Option* m_pIntercept = nullptr;
};

// The library as the workstation's viewer drives it: the series description
// and the protocol go into the view's protocol parameters (SetProtocol), the
// renderer's copy is cloned and frozen, and the colour table is read through
// the frozen copy. Windowing and the average colour work on the live protocol.
class VxrpView {
  public:
    VxrpView(VXR_VOLR_ColorProtocol& protocol, const VxrpData& data);
    VxrpView(const VxrpView&) = delete;
    VxrpView& operator=(const VxrpView&) = delete;
    ~VxrpView();

    const VxrpData& Data() const { return m_Data; }
    // The view's live protocol (held by the protocol parameters).
    VXR_VOLR_ColorProtocol& Live();
    // The renderer's table, indexed by raw value, read through a frozen copy
    // (frozen on first use); VxrpError with kVxrpFailed when the library gives
    // none.
    const unsigned int* Table();
    // Drops the frozen copy, so that the next read freezes a new one (after the
    // live protocol changed, as the viewer re-freezes after a window drag).
    void Refreeze();
    // The same table from its lowest raw value on (Entries() entries).
    const unsigned int* Block();
    // The entry of a raw value (within the data's raw range).
    unsigned int Entry(long raw);

  private:
    struct Impl;
    VxrpData m_Data;
    std::unique_ptr<Impl> m_pImpl;
};
