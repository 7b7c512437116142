#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "COM/COM_BStr.h"
#include "RW/RWCollectable.h"
#include "RW/RWTValHashMap.h"
#include "RW/RWTValOrderedVector.h"
#include "TIS/TIS_TissueType.h"
#include "UTL/UTL_ChangeCounter.h"
#include "UTL/UTL_Color.h"
#include "VXR_VOLR_ColorClass.h"

// Functors over wide strings for the tissue-class hash. All three are
// case-sensitive and look at the UTF-16 code units up to the first zero unit
// (a null string counts as empty): a tissue look-up is case-insensitive only
// because the key is lower-cased before it is looked up.

// hash = hash * 31 + unit over the units, modulo 2^32; 0 for a null or empty string.
class StrHash {
  public:
    unsigned int operator()(_bstr_t text) const;
    StrHash& operator=(const StrHash&) = default;
};

// True when both strings hold the same units.
class StrComp {
  public:
    bool operator()(_bstr_t a, _bstr_t b) const;
    StrComp& operator=(const StrComp&) = default;
};

// True when a orders before b, unit by unit (a prefix orders first).
class StrLess {
  public:
    bool operator()(_bstr_t a, _bstr_t b) const;
    StrLess& operator=(const StrLess&) = default;
};

// The host's tissue-definition classes by lower-case name. The host owns the
// map and the classes in it.
using VXR_VOLR_TissueClassHash = RWTValHashMap<_bstr_t, VXR_VOLR_ColorClass*, StrHash, StrComp>;

// Tissue names by TIS_TissueType. Wherever a name is matched or stored it is
// used in lower case ("general", "vessel", ...).
inline constexpr const char16_t* VXR_VOLR_TissueTypeNames[TIS_TissueTypeCount] = {
    u"GENERAL", u"VESSEL", u"BONE", u"LUNG", u"LESION"};

// Names of the host's tissue-definition classes. Only "minus" is read here: the
// average colour is written back into it.
inline constexpr const char16_t* VXR_VOLR_DEFINE_PLUS = u"define_plus";
inline constexpr const char16_t* VXR_VOLR_AFTER_DEFINE_PLUS = u"after_define_plus";
inline constexpr const char16_t* VXR_VOLR_MINUS = u"minus";

// VXR_VOLR_ColorProtocol - the transfer function of one volume-rendering view:
// an ordered list of tissue colour classes, the description of the stored
// voxel values (bits, signedness, rescale slope and intercept, Hounsfield
// data), rendering switches, five tissue place holders and, derived from all
// of these, the colour table the renderer indexes with raw voxel values.
//
// Ownership
//   The protocol owns its classes and its place holders (copies of what the
//   caller hands to PutTissuePlaceHolder; AddColorClass adopts the pointer).
//   Copies (constructor, operator=) copy every class and place holder, so no
//   two protocols share one. The tissue-class hash and its classes are the
//   host's; copies share the pointer.
//
// The colour table and its lifetime
//   An entry is one 32-bit word:
//
//       31      24 23      16 15       8 7        0
//      +----------+----------+----------+----------+
//      |   red    |  green   |   blue   | opacity  |
//      +----------+----------+----------+----------+
//
//   every field clamped to 0..255; 0 is transparent black. The block holds
//   2^bits entries, index k for raw value k (unsigned data) or for raw value
//   k - 2^(bits-1) (signed data). GetColorTable answers a pointer indexed by
//   the raw value: the block start for unsigned data, entry 2^(bits-1) (raw
//   value 0) for signed data, so that for 16-bit signed data table[-32768] is
//   the first entry and table[32767] the last.
//
//   A table is built for 1..24 bits. With 0 bits there is none (silently);
//   with more than 24 bits, a negative bit count, or when the block cannot be
//   allocated, there is none either, and the protocol stays usable
//   (GetColorTable answers null, and every read tries again). A log line says
//   why, once for each bit count that fails: reads, prints and averages at the
//   same bits add none until a table has been had or the bits changed.
//
//   A protocol writes only the block it allocated. Recalculating with the same
//   bit count rewrites the block in place, so a pointer from GetColorTable
//   stays valid (and shows the new table) until that protocol recalculates for
//   another bit count or is destroyed. FreezeCopy gives the image a share of
//   its source's block: the image never writes it, and a calculation the image
//   has to do later goes into a block of its own. The block lives as long as
//   any protocol points at it, so an image (or an image of an image) reads the
//   table it was frozen with even after its source re-froze, moved to other
//   bits or was destroyed; the renderer's pointer from an image's
//   GetColorTable is valid as long as that image keeps the block.
//
//   Which operations invalidate the table is listed with each; the others
//   (AddColorClass, RemoveColorClass, SetCenter, SetWidth, ApplyWindowing, the
//   data-description setters other than SetBPP, SetIsVisible,
//   SetIsDecreseOpMode) leave it to the caller to call InvalidateColorTable.
//
// How an entry is computed (k the index, raw its raw value)
//   v = trunc(raw * slope + intercept) - GetStartRange()    position in the range
//   range = (float)(GetEndRange() - GetStartRange())
//   w = (float)(v / range)                                  0 at the start, 1 at the end
//   then, over the active classes in order, each class's GetColor(w) and
//   GetRelativeOpacity(w): the colour is the opacity-weighted mean of the
//   colours from the first class that is not transparent onward (the plain mean
//   of all active classes where every one is transparent), the opacity the
//   largest single relative opacity times the maximum opacity (times 0.2 in
//   decreased-opacity mode). A hidden protocol, or one without active classes,
//   gives 0 everywhere.
//
//   Numbers: every expression is evaluated in double and rounded to float only
//   where a float is stored, one reading for the whole library (the colour
//   class and the opacity graph follow it too). The full reading, and what odd
//   rescale slopes (0, negative, NaN, infinite) give - defined tables, not
//   useful ones - are noted beside the table loop in VXR_VOLR_ColorTable.cpp.
//
// The protocol starts no threads and is used from one thread at a time.
class VXR_VOLR_ColorProtocol : public RWCollectable, public UTL_ChangeCounter {
  public:
    // No classes, five empty place holders, slope 1, intercept 0, visible,
    // maximum opacity 0, no table.
    VXR_VOLR_ColorProtocol();
    // As the default constructor with the displayed name and maximum opacity.
    VXR_VOLR_ColorProtocol(const _bstr_t& displayedName, float maxOpacity);
    // Reads a protocol node (VXR_VOLR_ColorProtocolTree.cpp): the node's name,
    // "name", "max_opacity", "opacity_threshold" (a non-empty one also marks the
    // threshold as read from a tree), "lighting" (on when > 0), then, in the
    // tree's order, every child whose name begins with "c" as a class (given
    // the protocol's bits, still 0) and the child "tissue_place_holders".
    // Other children are skipped. Numbers that are missing or not numbers read
    // as 0. A null tree logs "Failed to get protocol\n" and gives a protocol
    // with defaults. A failed tree operation raises _com_error; what had been
    // read is freed. The tree stays the caller's; the protocol has no table
    // until its data description is set.
    explicit VXR_VOLR_ColorProtocol(const CFG_ITreePtr& tree);
    // Copies everything but the table (the copy has none) and the average colour.
    VXR_VOLR_ColorProtocol(const VXR_VOLR_ColorProtocol& other);
    // As the copy constructor; an owned table is kept for the next calculation.
    // Invalidates the table and the average colour. Self-assignment does nothing.
    VXR_VOLR_ColorProtocol& operator=(const VXR_VOLR_ColorProtocol& other);
    ~VXR_VOLR_ColorProtocol() override;

    // The counter assignments of the base stay available.
    using UTL_ChangeCounter::operator=;

    // A new, initialised tree of this protocol that the caller owns, named
    // after GetName(): "name", "max_opacity", "opacity_threshold" (only when
    // the threshold came from a tree), "lighting", then the classes as class1,
    // class2, ... and the child "tissue_place_holders" (always, possibly
    // empty) with the place holders of the vessel, bone, lung and lesion types
    // under their lower-case names (the general one is never written).
    // Numbers keep at least three decimals. Each class drops its redundant
    // colour and opacity points first (it changes in memory too). A failed
    // tree operation raises _com_error.
    CFG_ITreePtr ExportToCFG();

    // Makes this protocol a light, read-only image of src for the renderer:
    // src calculates its table when it is invalid, this protocol then shares
    // it (see the lifetime rule above) and takes src's opacity threshold,
    // lighting, bits, signedness, greyscale flag and change counter. Classes,
    // names, place holders and the rest keep their values. FreezeCopy(*this)
    // only brings the own table up to date.
    void FreezeCopy(VXR_VOLR_ColorProtocol& src);

    // --- classes -------------------------------------------------------------
    unsigned int GetClassCount() const;
    // Class i; raises RWBoundsErr when i is not a valid index. The protocol
    // keeps ownership.
    VXR_VOLR_ColorClass* GetClass(int i) const;
    // Adopts cls after giving it the protocol's bits. With after in 0..count-1
    // it goes to position after+1 and that index is answered; otherwise it is
    // appended and 1 is answered (not its index). Any negative after appends.
    // A null cls is refused: nothing changes and 0 is answered.
    // Does not invalidate the table.
    int AddColorClass(VXR_VOLR_ColorClass* cls, int after);
    // Deletes class i; raises RWBoundsErr (nothing changed) for a bad index.
    // Does not invalidate the table.
    void RemoveColorClass(int i);

    // --- switches and data description ------------------------------------------
    void SetIsLighting(bool on) { m_bIsLighting = on; }
    bool GetIsLighting() const { return m_bIsLighting; }
    // The threshold is kept as given (0..1 is meaningful).
    void SetOpacityThreshold(float threshold) { m_fOpacityThreshold = threshold; }
    // trunc(threshold * 255.0), no rounding: 0.5 gives 127.
    int GetOpacityThreshold() const;
    bool IsOpThreshInitFromCFG() const { return m_bOpThreshInitFromCFG; }
    void SetSigned(bool isSigned) { m_bSigned = isSigned; }
    bool GetSigned() const { return m_bSigned; }
    int GetBPP() const { return m_nBPP; }
    // A new bit count invalidates the table and goes to every class in order;
    // the same count changes nothing.
    void SetBPP(int bpp);
    void SetRescaleIntercept(int intercept) { m_nRescaleIntercept = intercept; }
    int GetRescaleIntercept() const { return m_nRescaleIntercept; }
    void SetRescaleSlope(float slope) { m_fRescaleSlope = slope; }
    float GetRescaleSlope() const { return m_fRescaleSlope; }
    void SetIsHounsfield(bool on) { m_bIsHounsfield = on; }
    bool GetIsHounsfield() const { return m_bIsHounsfield; }
    void SetIsDecreseOpMode(bool on) { m_bIsDecreseOpMode = on; }
    bool GetIsDecreseOpMode() const { return m_bIsDecreseOpMode; }
    void SetIsVisible(bool visible) { m_bIsVisible = visible; }
    bool GetIsVisible() const { return m_bIsVisible; }
    void SetIsGrayscale(bool on) { m_bIsGrayscale = on; }
    bool IsGrayscale() const { return m_bIsGrayscale; }
    // The factor applied to every opacity of the table (set at construction).
    float GetMaxOpacity() const { return m_fMaxOpacity; }
    // The identifying name (the stored protocol's node name).
    void SetName(const _bstr_t& name) { m_Name = name; }
    _bstr_t GetName() const { return m_Name; }
    void SetDisplayedName(const _bstr_t& name) { m_DisplayedName = name; }
    _bstr_t GetDisplayedName() const { return m_DisplayedName; }
    // Stores the host's map (not owned; may be null).
    void PutTissueClassHash(VXR_VOLR_TissueClassHash* hash) { m_pTissueClassHash = hash; }

    // --- windowing (forwarded to every class in order) ------------------------------
    // Neither invalidates the table.
    void SetCenter(float center);
    void SetWidth(float width);
    // Every class is called; the table is invalidated when any class moved.
    // AddCenter raises nothing. AddWidth raises RWBoundsErr from a class whose
    // graph has no points (its SetWidth needs them, and it changes nothing
    // before it raises): the classes after it are not called, the table is
    // invalidated when a class before it moved, and the error passes on.
    void AddCenter(float delta);
    void AddWidth(float delta);
    // SetCenter(0), SetWidth(0), then invalidates the table.
    void ResetWindowing();
    // Bakes every class's window into its points; does not invalidate the table.
    void ApplyWindowing();

    // --- activation ------------------------------------------------------------------
    // True when no class is active (also with no classes).
    bool IsAllClassDeactivated() const;
    // Sets every class's active flag; invalidates the table.
    void SetActivatedAllClasses(bool on);

    // --- value range (odd slopes: see VXR_VOLR_ColorTable.cpp) ----------------------------
    // -1024 for Hounsfield data; else intercept - trunc(2^(bits-1) * slope) for
    // signed data and intercept for unsigned data. Computed in 64 bits and
    // saturated to the int range; 2^(bits-1) counts as 0 for 0 bits.
    int GetStartRange() const;
    // 3095 for Hounsfield data; else intercept + trunc((2^k - 1) * slope), k =
    // bits - 1 for signed and bits for unsigned data, saturated likewise
    // ((2^k - 1) counts as 0 for k <= 0).
    int GetEndRange() const;
    // GetEndRange() - GetStartRange() + 1 (4120 for Hounsfield data), saturated.
    int GetTotalRange() const;
    // trunc(v * slope) + intercept.
    long ApplyInterceptAndSlop(long v) const;
    // trunc((v - intercept) / slope).
    long InverseInterceptAndSlop(long v) const;

    // --- tissues ---------------------------------------------------------------------
    // The host's class stored under the lower-cased name, or null (also without a hash).
    VXR_VOLR_ColorClass* GetTissueDefClass(_bstr_t name) const;
    // Replaces place holder t by a copy of cls (the caller keeps cls); a null
    // cls clears it. A bad t raises RWBoundsErr and changes nothing.
    void PutTissuePlaceHolder(TIS_TissueType t, VXR_VOLR_ColorClass* cls);
    // Place holder t, or, when it is not set, the host's tissue-definition class
    // of that tissue's name; null for t outside 0..4. The protocol (or the host)
    // keeps ownership.
    VXR_VOLR_ColorClass* GetTissuePlaceHolder(TIS_TissueType t) const;

    // --- colour table ----------------------------------------------------------------
    // Every entry is bit for bit what the literal rule gives: each active
    // class's GetColor and GetRelativeOpacity at the entry's position,
    // composited in class order with float sums and every expression in
    // double. The calculation (VXR_VOLR_ColorTable.cpp) takes these shortcuts,
    // each exact for the reason given:
    //  - Pieces. Each class's ramp and graph are split once into pieces on
    //    which one branch of their evaluation holds; a run of entries in one
    //    piece is computed by one loop with the same expressions, and a
    //    constant piece is filled with its value.
    //  - Level graph segments. A segment between two points of the same y
    //    (finite, not zero) is a constant piece: the line adds a finite
    //    quotient times 0 to that y, which leaves it as it is.
    //  - Zero opacities skipped. From an entry's first class that is not
    //    transparent on, a class whose opacity there is 0 changes nothing:
    //    the opacity sum and the maximum stay (x + 0 is x, the sum is never
    //    -0, and the sign of a zero maximum never reaches the entry), and its
    //    colour, weighted by that 0, leaves the colour sums as they are (they
    //    are never -0: they start at +0 and no sum of multiples of the
    //    smallest float rounds to -0). Colours of the classes before that
    //    first class are discarded by the rule itself. Neither is computed.
    //    Where a class's graph is constant on a run of entries, its windowed
    //    positions are not computed either: the run's ends are found by a
    //    search, the windowed position never decreasing while the position
    //    grows (a window scale above 0, ascending positions). Entries that no
    //    class makes non-transparent take every class's colour, unweighted.
    //  - Colours not stored. A class's colour is added to the sums with the
    //    weight the rule gives it (1, its opacity or 0, each a float value)
    //    as soon as it is computed; a truncated colour is kept as the double
    //    that the int would convert to, except that -0 may stand for 0,
    //    which changes no sum that is not -0. Where every entry of a class's
    //    span has met its first non-transparent class at or before this one,
    //    the weights are the opacities themselves.
    //  - Constant blocks. Where, over a block of 512 entries, every class's
    //    windowed position stays in one constant piece of its graph and one
    //    constant piece of its ramp (checked at the block's first and last
    //    position:
    //    the windowed position never decreases between), every entry is made
    //    of the same opacities and colours: the first entry is computed and
    //    copied to the others. Positions never decrease along
    //    the table when the slope is finite and not negative and the value
    //    range not empty (every step of their expression keeps the order).
    //  - Loop kernels built for the baseline instruction set and for AVX2,
    //    picked when the library loads, and the hottest ones also written
    //    with AVX2 intrinsics, picked at run time: the same IEEE operations
    //    in the same order, no contraction. The intrinsics clamp with
    //    maxpd/minpd (maxps/minps), which are exactly the selects a > b ? a :
    //    b and a < b ? a : b, NaN and -0 included.
    //  - Blocks of entries are independent, so they may be computed on
    //    helper threads (SetTableThreads): each block is computed by the same
    //    code whichever thread takes it, and reaches the table once, whole
    //    (a helper's block only if the asking thread has not computed it
    //    meanwhile).
    // Where an assumption does not hold (a class of a derived type, a ramp or
    // graph that does not split into pieces, a collapsed or non-finite
    // window, positions that do not ascend, an opacity sum that becomes NaN
    // while its entry is still transparent) those entries are computed class
    // by class without the skips.
    //
    // The table pointer described above, calculated first when invalid; null
    // when there is no table (0 bits, unsupported bits, no memory). Raises
    // RWBoundsErr, from the calculation, when an active class has no colour
    // points or a graph without points; Print and CalculateAverageColor, which
    // calculate too, raise it likewise.
    unsigned int* GetColorTable();
    void InvalidateColorTable() { m_bColorTableValid = false; }
    bool IsColorTableValid() const { return m_bColorTableValid; }
    // How many threads calculate a table, the one that asks included; for
    // every protocol of the process. 1, the default, calculates on the
    // asking thread alone and starts no thread. With more, helper threads
    // are started on the first table of 2048 entries or more whose classes
    // allow the run-by-run passes, and share such tables with the asking
    // thread; after a table each helper polls for the next one for 0.2 ms
    // (its processor busy meanwhile), then sleeps; they end when the process
    // exits or the library is unloaded. The table is the same, bit for bit,
    // whatever the count. Helpers take part in the table asked for last; a
    // table asked for on another thread meanwhile is calculated by that
    // thread with whatever help is left. Counts are clamped to 1 .. the
    // number of hardware threads. On a machine busy with other work the
    // asking thread does not wait for a helper the system has descheduled:
    // it computes a block whose helper has shown no progress for 20 us
    // itself (longer on slow builds: a quarter of one of its own blocks, at
    // most 1 ms), and the helper's copy is dropped; and it calculates alone
    // when a helper holds the helpers' lock just then. So a busy machine
    // costs that wait per helper and the blocks computed twice, not a
    // scheduler's time slice, unless a helper loses its processor in the
    // short copy of a finished block into the table.
    static void SetTableThreads(int threads);
    static int GetTableThreads();
    // Recalculates the table and prints one line per entry to standard output,
    // "%d\t%f\t%d\t%d\t%d\t%d\t%x\n" (index, index / (2^bits - 1), opacity, red,
    // green, blue, the entry), lowest raw value first, then a line of 37 dashes.
    // Without a table only the dashes are printed.
    void Print();

    // The histogram-weighted average colour of the table (each entry's colour
    // weighted by histogram[k] / total times its opacity), stored and written
    // into the host's "minus" class's first colour point. histogram has count
    // counters indexed like the table block (from its start). Returns at once
    // without 0 bits, without a histogram, or when both the table and the
    // average are up to date; after recalculating an invalid table it also
    // returns when count is not 2^bits, when there is no table, or when total
    // is 0 or less (nothing counted: the average is left as it was, invalid).
    // A "minus" class without colour points raises RWBoundsErr; the average
    // is then stored but not valid.
    void CalculateAverageColor(unsigned long* histogram, int total, int count);
    UTL_Color GetAverageColor() const { return m_AverageColor; }
    bool IsAverageColorValid() const { return m_bAverageColorValid; }

  protected:
    // Recalculates the table now, whatever the valid flag says.
    void CalculateColorTable();

  private:
    void copy_data(const VXR_VOLR_ColorProtocol& src);
    // The "tissue_place_holders" node: children named after a lower-case
    // tissue name become that tissue's place holder (a later one replaces an
    // earlier one); others are read and dropped.
    void read_tissue_place_holders(const CFG_ITreePtr& tree);
    // A new, unnamed tree of the place holders of types 1..4, in type order.
    CFG_ITreePtr export_tissue_place_holders_to_cfg();
    void delete_classes();
    void delete_place_holders();
    // Makes sure an owned block of 2^bits entries is held; false (no table,
    // logged) when that is impossible.
    bool ensure_table_block();
    // The number of entries of a table for bits per pixel: 2^bits for 1..24
    // bits, 0 when such bits have no table.
    static std::size_t table_entries(int bits);
    void free_table();

    RWTValOrderedVector<VXR_VOLR_ColorClass*> m_ColorClasses;
    RWTValOrderedVector<VXR_VOLR_ColorClass*> m_TissuePlaceHolders;
    VXR_VOLR_TissueClassHash* m_pTissueClassHash = nullptr;
    _bstr_t m_DisplayedName;
    std::int32_t m_nBPP = 0;
    bool m_bSigned = false;
    bool m_bIsLighting = false;
    // Shared with the images frozen from it (FreezeCopy): the block lives while
    // any protocol looks at it; only the protocol that allocated it writes it.
    std::shared_ptr<std::uint32_t[]> m_ColorTable;
    // The positions of the entries of the last table, kept for the next one
    // with the same value range (see VXR_VOLR_ColorTable.cpp). Never changed
    // once kept; copies of the protocol start without.
    struct TablePositions;
    std::shared_ptr<const TablePositions> m_pTablePositions;
    float m_fMaxOpacity = 0.0f;
    bool m_bOwnsColorTable = false;
    bool m_bColorTableValid = false;
    float m_fOpacityThreshold = 0.0f;
    std::int32_t m_nRescaleIntercept = 0;
    float m_fRescaleSlope = 1.0f;
    bool m_bOpThreshInitFromCFG = false;
    bool m_bIsHounsfield = false;
    bool m_bIsDecreseOpMode = false;
    _bstr_t m_Name;
    bool m_bIsVisible = true;
    bool m_bIsGrayscale = false;
    UTL_Color m_AverageColor;
    bool m_bAverageColorValid = false;
    // Bits the owned block was allocated for (0 while none is owned).
    int m_nColorTableBits = 0;
    // Why there is no table has been logged for m_nNoTableBits bits; cleared
    // when a block is had again.
    bool m_bNoTableReported = false;
    int m_nNoTableBits = 0;
};
