#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "COM/COM_BStr.h"
#include "DICOM/Dicom_Msg.h"
#include "UTL/UTL_Color.h"

// One straight line of a graphic overlay, as a graphic element exports it.
//
// The ends are physical (patient) coordinates in millimetres, x, y, z. The
// colour, property word, number, numbering style and flag are the line
// element's own and travel unchanged; what the bits of the property word mean
// is the graphic-element framework's business.
struct IOD_LineAnnotation {
    std::array<Dicom_FL, 3> from{};
    std::array<Dicom_FL, 3> to{};
    _bstr_t label;
    UTL_Color color;
    unsigned int property = 0;
    int number = 0;
    int numberingStyle = 0;
    bool flag = false;
};

// IOD_Msg - a whole DICOM object in memory: the attributes of a data set
// (through Dicom_Msg, looked up by tag) plus the graphic annotations that
// overlay elements write into it.
//
// Attributes
//   ReadFileHeader fills the image attributes listed there from a file; the
//   host and the elements may put and read any other attribute.
//
// Line annotations
//   Kept in the order written, each in a named group (the element set that
//   wrote it; one set's lines share a group). A group carries the set's own
//   colour and property word. Writing a line to a group that does not exist
//   creates the group with black and property 0.
//
// Copies are deep; the message owns everything in it.
class IOD_Msg : public Dicom_Msg {
  public:
    struct LineGroup {
        _bstr_t name;
        UTL_Color color;
        unsigned int property = 0;
        std::vector<IOD_LineAnnotation> lines;
    };

    // What ReadFileHeader answers besides true or false.
    enum ReadStatus {
        READ_OK = 0,
        READ_CANNOT_OPEN,  // missing, unreadable, or a directory
        READ_NOT_DICOM,    // no "DICM" file preamble
        READ_MALFORMED,    // the data set cannot be parsed (truncated, bad lengths, ...)
    };

    IOD_Msg();
    IOD_Msg(const IOD_Msg& other);
    IOD_Msg& operator=(const IOD_Msg& other);
    ~IOD_Msg() override;

    // --- line annotations -----------------------------------------------------------
    // The group called name, created (black, property 0) when missing.
    LineGroup& GetLineGroup(const _bstr_t& name);
    // The group called name, or null.
    const LineGroup* FindLineGroup(const _bstr_t& name) const;
    std::size_t GetLineGroupCount() const { return m_LineGroups.size(); }
    // Group i in the order created; null when i is out of range.
    const LineGroup* GetLineGroupAt(std::size_t i) const;
    // Appends line to the group called group.
    void AddLineAnnotation(const _bstr_t& group, const IOD_LineAnnotation& line);
    // Number of lines over all groups.
    std::size_t GetLineAnnotationCount() const;
    void ClearLineAnnotations();

    // --- reading a file -------------------------------------------------------------
    // Reads the header of the DICOM file at path (a file with the 128-byte
    // preamble and "DICM") and puts these attributes into this message:
    //   Modality (CS), Image Position and Orientation (Patient) (DS), Pixel
    //   Spacing (DS), Rescale Intercept and Slope (DS): the text as stored;
    //   Rows, Columns, Bits Allocated, Bits Stored, Pixel Representation (US):
    //   the first number.
    // Reading stops before the pixel data, which is never read, and values
    // longer than 4096 bytes are never loaded. An attribute that the file
    // lacks, that is empty, that holds another kind of value than listed, or
    // whose value is too long is removed from this message, so that no stale
    // value survives from an earlier file; a malformed decimal string is kept
    // as text (Dicom_DS refuses it when it is read).
    //
    // On failure (see ReadStatus) false, this message is left as it was, and
    // error (when given) receives a line naming the file and the cause.
    bool ReadFileHeader(const std::string& path, std::string* error = nullptr,
                        ReadStatus* status = nullptr);

  private:
    std::vector<LineGroup> m_LineGroups;
};
