/*
 * hostcore: the host toolkit's core services as senmod uses them.
 *
 * Error reports, heap, strings and text, file test, initialisation handle, data buffers,
 * persistent designs and objects, projection parameters and live map projections, elevation
 * information, and (for the DEM-layer build) raster layers and geometric transforms.
 *
 * Conventions of every call below:
 * - An error slot (ErrorReport** err) may be null. A call that fails stores a new report in
 *   *err when err is given (a report already there becomes its previous report), and discards it
 *   otherwise. A call that succeeds leaves *err alone.
 * - Every block handed out comes from the host heap (hmsc_HeapMalloc) and is the caller's unless
 *   said otherwise; "free" and "destroy" calls accept null.
 */
#ifndef HOSTCORE_H
#define HOSTCORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- error reports */

/* Opaque error report: function name, source line, severity, message, and the previous report
 * that it has taken over. Severities: 2 error, 1 user warning, 0 note. */
typedef struct ErrorReport ErrorReport;

/* Makes a new report. function and message are copied (null counts as ""). previous, when not
 * null, is taken over: it is deleted with the new report. reserved must be 0.
 * Never returns null: when the heap is exhausted, previous is deleted and a shared static
 * report ("Heap exhausted.", severity 2) is returned, which delete and duplicate recognise, so
 * that a failure is never lost. */
ErrorReport* herr_CreateErrorReport(const char* function, int line, int severity,
                                    ErrorReport* previous, const char* message, int reserved);

/* Returns an independent deep copy of report and its chain; null for null, the shared
 * "Heap exhausted." report when the heap is exhausted. */
ErrorReport* herr_ErrorReportDuplicate(const ErrorReport* report);

/* Shows report and its chain to the user through the print handler; the report stays the
 * caller's. flag 1 marks a user warning that must be seen at once, 0 anything else.
 * reserved must be 0. Null prints nothing. */
void herr_PrintErrorReport(const ErrorReport* report, int flag, int reserved);

/* Deletes *report with its chain and sets *report to null. Accepts null and *report null. */
void herr_DeleteErrorReportEx(ErrorReport** report);

/* Accessors; all accept null (giving "", 0 or null). Texts are owned by the report. */
const char* herr_ErrorReportMessage(const ErrorReport* report);
const char* herr_ErrorReportFunction(const ErrorReport* report);
int herr_ErrorReportLine(const ErrorReport* report);
int herr_ErrorReportSeverity(const ErrorReport* report);
const ErrorReport* herr_ErrorReportPrevious(const ErrorReport* report);

/* A print handler receives each report that herr_PrintErrorReport is given (the head of the
 * chain; walk it with herr_ErrorReportPrevious) with the print flag and the user pointer. */
typedef void (*HerrPrintHandler)(const ErrorReport* report, int flag, void* user);

/* Installs handler with its user pointer and returns the previous handler (null when the
 * default was in force). A null handler restores the default, which writes one line per report
 * of the chain to standard error: "<severity word>: <function>(<line>): <message>". */
HerrPrintHandler herr_SetPrintHandler(HerrPrintHandler handler, void* user);

/* ---------------------------------------------------------------- heap */

/* Allocates bytes (at least 1 is allocated for 0) aligned for any type; null when exhausted. */
void* hmsc_HeapMalloc(size_t bytes);
/* Releases a block of hmsc_HeapMalloc; accepts null. */
void hmsc_HeapFree(void* block);
/* Test hook: after n more successful allocations every allocation fails, until
 * hmsc_HeapFailAfter(-1). n = 0 makes the next allocation fail. */
void hmsc_HeapFailAfter(long n);
/* Test hook: the number of blocks allocated and not yet freed. */
long hmsc_HeapLiveBlocks(void);

/* ---------------------------------------------------------------- strings and text */

/* A heap copy of text, or null for null text or heap exhaustion. */
char* hstr_Duplicate(const char* text);
/* Non-zero when a and b are equal ignoring ASCII letter case; two nulls are equal. */
int hstr_Eqic(const char* a, const char* b);
/* printf-style formatting (every C format, %lf included) into a new heap text. buffer must be
 * null. Returns null and reports on a bad format or heap exhaustion. */
char* hstr_Sprintf(char* buffer, const char* format, ErrorReport** err, ...);

/* A list of heap texts; the list and its texts are released with hstr_StringListDelete. */
typedef struct HstrStringList {
  int32_t count;
  char** items;
} HstrStringList;
void hstr_StringListDelete(HstrStringList** list, ErrorReport** err);

/* Length of text without its terminating zero; 0 for null. */
size_t htxt_Text_strlen(const char* text);
/* strcmp ordering, case counts: 0 when equal. null sorts before any text; two nulls are equal. */
int htxt_Text_strcmp(const char* a, const char* b);

/* ---------------------------------------------------------------- files and start-up */

/* Non-zero when name names an existing file (a directory does not count). A null name gives 0. */
int hfio_FileExists(const char* name, ErrorReport** err);

/* The toolkit's initialisation handle: process-wide, never null, never freed by callers. */
typedef struct HintInit HintInit;
HintInit* hint_GetInit(void);

/* ---------------------------------------------------------------- data buffers */

/* A buffer of rows x columns values of 64-bit reals. Element (row r, column c) lies at
 * data[c * columnStride + r * rowOffset]. */
typedef struct HgdaBaseData {
  int32_t rows;
  int32_t columns;
  int32_t pixelType;
  int32_t kind;
  double* data;
  int64_t columnStride;
  int64_t rowOffset;
} HgdaBaseData;

/* Pixel type of 64-bit reals, the only one the data buffers hold. */
#define HGDA_PIXEL_FLOAT64 10

/* Creates a zeroed buffer. pixelType must be HGDA_PIXEL_FLOAT64; kind is the host's object kind
 * (2 point list, 3 pixel value) and options must be 0. Returns null and reports on bad arguments
 * (rows or columns below 1) or heap exhaustion. Release with hgda_BaseDataDelete. */
HgdaBaseData* hgda_BaseDataCreate(int32_t rows, int32_t columns, int32_t pixelType, int32_t kind,
                                  int32_t options, ErrorReport** err);
/* Releases a buffer; accepts null. */
void hgda_BaseDataDelete(HgdaBaseData* data, ErrorReport** err);

/* ---------------------------------------------------------------- persistent designs */

/* Counted text: count includes the terminating zero; empty is 0 and null. */
typedef struct Hmif_String {
  int32_t count;
  char* data;
} Hmif_String;

/* Counted bytes; empty is 0 and null. */
typedef struct Hmif_Bytes {
  int32_t count;
  unsigned char* data;
} Hmif_Bytes;

/* An object held in persistent form with the name of its design and the dictionary text that
 * defines it. Empty when MIFObject.data is null. */
typedef struct Hmif_MIFObject {
  Hmif_String type;
  Hmif_String MIFDictionary;
  Hmif_Bytes MIFObject;
} Hmif_MIFObject;

typedef struct HmifDesign HmifDesign;
typedef struct HmifDictionary HmifDictionary;

/* Item type codes of hmif_DesignCreate. */
enum {
  HMIF_RECORD = 1,          /* HmifDesign*: embedded record */
  HMIF_ENUM = 3,            /* names..., NULL: 32-bit index */
  HMIF_INT32 = 12,          /* 32-bit integer */
  HMIF_FLOAT64 = 14,        /* 64-bit float */
  HMIF_FLOAT64_ARRAY = 270, /* int count: fixed array of 64-bit floats */
  HMIF_COUNTED_RECORDS = 514, /* const char* design name: counted pointer to records */
  HMIF_COUNTED_BYTES = 519, /* counted pointer to bytes */
  HMIF_COUNTED_TEXT = 520,  /* counted text */
  HMIF_COUNTED_INT32 = 524, /* counted pointer to 32-bit integers */
  HMIF_COUNTED_FLOAT64 = 526, /* counted pointer to 64-bit floats */
  HMIF_RECORD_POINTER = 1025  /* HmifDesign*: pointer to one record or null */
};

/* A new empty dictionary, or null with a report. Destroy with hmif_DictionaryDestroy. */
HmifDictionary* hmif_DictionaryCreate(ErrorReport** err);
/* Destroys a dictionary and every design it owns; accepts null. */
void hmif_DictionaryDestroy(HmifDictionary* dictionary);
/* Registers design in dictionary: the dictionary keeps a copy of its own under the design's
 * name, replacing a design of that name (handles to the replaced design stay valid until the
 * dictionary goes). The copy refers to the same designs by handle, which must outlive it, and
 * looks up named designs in dictionary. Returns the dictionary's copy (owned by the dictionary)
 * or null with a report. */
HmifDesign* hmif_DictionaryAddDesign(HmifDictionary* dictionary, const HmifDesign* design,
                                     ErrorReport** err);
/* The design of that name in dictionary, owned by it, or null. */
HmifDesign* hmif_DictionaryFindDesign(const HmifDictionary* dictionary, const char* name);

/* Creates design name in dictionary from the item specifications that follow err: each is an
 * int code, the item's name, then the code's further arguments (see the enum above); a code of
 * 0 ends the list. The design is owned by the dictionary. Returns null with a report on an
 * unknown code, a duplicate item name, a null design argument, no items, a name that is not 1 to
 * 255 letters, digits, '_', '.' or '-', a fixed array count outside 1 to 65536, or heap
 * exhaustion. */
HmifDesign* hmif_DesignCreate(HmifDictionary* dictionary, const char* name, ErrorReport** err,
                              ...);
/* A self-contained copy of design: every design it refers to, by handle or by name, is resolved
 * now and copied with it, so the copy stays valid after the source dictionary is gone.
 * Returns null with a report when a named design cannot be resolved. The caller destroys the
 * copy with hmif_DesignDestroy. */
HmifDesign* hmif_DesignCopy(const HmifDesign* design, ErrorReport** err);
/* Destroys a design made by hmif_DesignCopy or handed out by a conversion; accepts null.
 * Designs owned by a dictionary are left alone (they go with their dictionary). */
void hmif_DesignDestroy(HmifDesign* design);
/* The design's name, owned by the design. */
const char* hmif_DesignName(const HmifDesign* design);

/* Layout introspection (for tests): the record size of the design in memory, its item count,
 * and the name, code and byte offset of item index. Return -1 or null for a bad index or a
 * design whose named references cannot be resolved. */
int64_t hmif_DesignRecordSize(const HmifDesign* design);
int32_t hmif_DesignItemCount(const HmifDesign* design);
const char* hmif_DesignItemName(const HmifDesign* design, int32_t index);
int32_t hmif_DesignItemCode(const HmifDesign* design, int32_t index);
int64_t hmif_DesignItemOffset(const HmifDesign* design, int32_t index);

/* ---------------------------------------------------------------- persistent objects */

/* The number of bytes of record's persistent form under design; -1 with a report. */
int64_t hmif_ObjectSize(const void* record, const HmifDesign* design, ErrorReport** err);
/* Writes record's persistent form (hmif_ObjectSize bytes) into buffer. flags must be 0.
 * Returns the number of bytes written, or -1 with a report. */
int64_t hmif_ConvertToMIF(int flags, const void* record, const HmifDesign* design, void* buffer,
                          ErrorReport** err);
/* Reads length bytes of persistent form into a new record laid out by design (free with
 * hmif_ObjectFree). Every count is checked against the bytes that remain, and no block is
 * taken before those bytes can hold its records at their smallest encoding: a decoding takes at
 * most 8 bytes of memory per byte it reads (besides the heap's overhead per block), and never
 * more than 256 MiB. Bad bytes give null with a report and leave nothing allocated. */
void* hmif_ConvertFromMIF(const void* bytes, size_t length, const HmifDesign* design,
                          ErrorReport** err);
/* A new deep copy of record under design, or null with a report. */
void* hmif_ObjectCopy(const void* record, const HmifDesign* design, ErrorReport** err);
/* Frees everything *record owns under design, then the record, and sets *record to null.
 * Returns 0, or -1 with a report for a null design, or when a named design of counted records
 * cannot be found (the record is freed as far as its design reaches). Accepts a null record. */
int hmif_ObjectFree(void** record, const HmifDesign* design, ErrorReport** err);

/* Converts object (laid out by design) into persistent bytes plus the dictionary text that
 * defines design and every design it uses, and the design's name. The three outputs are new
 * heap blocks for the caller. Returns the byte count, or -1 with a report (outputs untouched). */
int32_t hmif_MIFableObjectConvertToMIF(const void* object, const HmifDesign* design, void** bytes,
                                       char** dictionaryText, char** typeText, ErrorReport** err);
/* The reverse: parses dictionaryText, finds design typeText in it and decodes byteCount bytes.
 * On success *object and *design are new (free with hmif_ObjectFree and hmif_DesignDestroy) and
 * 0 is returned; otherwise -1 with a report and the outputs untouched. */
int hmif_MIFableObjectConvertFromMIF(void** object, HmifDesign** design, const void* bytes,
                                     int32_t byteCount, const char* dictionaryText,
                                     const char* typeText, ErrorReport** err);

/* Dictionary text: every design of dictionary as text; a new heap text, or null with a report. */
char* hmif_DictionaryToText(const HmifDictionary* dictionary, ErrorReport** err);
/* Parses a dictionary text into a new dictionary; null with a report on any error. */
HmifDictionary* hmif_DictionaryFromText(const char* text, ErrorReport** err);

/* ---------------------------------------------------------------- holders */

/* Moves source's three counted pointers into destination, releasing what destination held, and
 * leaves source empty. */
void hmif_MIFObjectTransferContents(Hmif_MIFObject* destination, Hmif_MIFObject* source);
/* Makes destination (whose contents are released first) a deep copy of source. Returns 0, or
 * -1 with a report on heap exhaustion (destination is then empty). */
int hmif_MIFObjectCopyContents(Hmif_MIFObject* destination, const Hmif_MIFObject* source,
                               ErrorReport** err);
/* Releases what holder holds and empties it; accepts null and an empty holder. */
void hmif_MIFObjectFreeContents(Hmif_MIFObject* holder);
/* Non-zero when both hold equal contents (counts and bytes); two empty holders are the same. */
int hmif_MIFObjectIsSame(const Hmif_MIFObject* a, const Hmif_MIFObject* b);

/* The same for a counted text. */
void hmif_PTRTransferContents(Hmif_String* destination, Hmif_String* source);
int hmif_PTRCopyContents(Hmif_String* destination, const Hmif_String* source, ErrorReport** err);
void hmif_PTRFreeContents(Hmif_String* holder);
int hmif_PTRIsSame(const Hmif_String* a, const Hmif_String* b);

/* ---------------------------------------------------------------- projections */

#define HPRJ_NAME_SIZE 64

typedef struct Hprj_Datum {
  char datumName[HPRJ_NAME_SIZE];
} Hprj_Datum;

typedef struct Hprj_Spheroid {
  char sphereName[HPRJ_NAME_SIZE];
  double a;        /* semi-major axis (m) */
  double b;        /* semi-minor axis (m) */
  double eSquared; /* squared first eccentricity */
  double radius;   /* radius of the sphere of equal area (m) */
  Hprj_Datum datum;
} Hprj_Spheroid;

/* Projection type 0 with number 0 is geographic latitude/longitude; type 1 with number 0 is
 * UTM with the zone in proZone (negative in the south). proParams are the projection's further
 * parameters (unused by both). */
typedef struct Hprj_ProParameters {
  int32_t proType;
  int32_t proNumber;
  char* proName; /* heap text (hprj_CharStrCreate), or null */
  int32_t proZone;
  double proParams[15];
  Hprj_Spheroid* proSpheroid; /* made together with the parameters, never null */
} Hprj_ProParameters;

/* New parameters with type 0, number 0, no name, zone 0, zero params and a zeroed spheroid;
 * null with a report. Free with hprj_ProParametersFree. */
Hprj_ProParameters* hprj_ProParametersCreate(ErrorReport** err);
/* Frees *parameters with its name and spheroid and sets it to null; accepts null. */
void hprj_ProParametersFree(Hprj_ProParameters** parameters);
/* Copies parameters into destination when it is not null (its name is replaced), else into new
 * parameters. Returns the copy, or null with a report. */
Hprj_ProParameters* hprj_ProParametersCopy(const Hprj_ProParameters* parameters,
                                           Hprj_ProParameters* destination, ErrorReport** err);
/* Non-zero when the two describe the same projection: type, number, zone, params, name (case
 * ignored) and spheroid numbers and names. A null argument gives 0 with a report. */
int hprj_ProParametersEqual(const Hprj_ProParameters* a, const Hprj_ProParameters* b,
                            ErrorReport** err);
/* Stores a heap copy of text in *destination (freeing what was there). 0, or -1 with a report. */
int hprj_CharStrCreate(const char* text, char** destination, ErrorReport** err);
/* Fills spheroid from the table of spheroids by name (case ignored): "WGS 84", "GRS 1980",
 * "Clarke 1866", "International 1909", "Sphere" and others. The datum is left alone.
 * 0, or -1 with a report for an unknown name. */
int hprj_SpheroidByName(HintInit* init, const char* name, Hprj_Spheroid* spheroid,
                        ErrorReport** err);
/* Fills datum by datum name; spheroidName must name the datum's spheroid. 0, or -1 with a
 * report for an unknown datum or a spheroid that does not belong to it. */
int hprj_DatumByName(HintInit* init, const char* datumName, const char* spheroidName,
                     Hprj_Datum* datum, ErrorReport** err);

/* A live map projection backed by PROJ. */
typedef struct Hprj_Projection Hprj_Projection;

/* A projection made from parameters (geographic and UTM, on the parameters' spheroid and
 * datum). It keeps a copy of the parameters and no reference to them. Null with a report for a
 * projection it cannot make. Free with hprj_ProjectionFree. */
Hprj_Projection* hprj_ProjectionInit(HintInit* init, const Hprj_ProParameters* parameters,
                                     ErrorReport** err);
/* A projection from a WKT text or an "EPSG:n" code; it has no "Hprj_ProParameters" component.
 * Null with a report for a definition PROJ does not accept. */
Hprj_Projection* hprj_ProjectionFromDefinition(const char* definition, ErrorReport** err);
/* Frees *projection and sets it to null; accepts null. */
void hprj_ProjectionFree(Hprj_Projection** projection);
/* The projection's component of that name, owned by the projection: "Hprj_ProParameters" gives
 * its parameters (null when it was made from a definition). Null for a null projection or an
 * unknown component. */
const void* hprj_MapProjectionCSRGet(const Hprj_Projection* projection, const char* component);
/* The projection's coordinate system as WKT (owned by the projection). */
const char* hprj_ProjectionWkt(const Hprj_Projection* projection);
/* Non-zero for a geographic (latitude/longitude) projection. */
int hprj_ProjectionIsGeographic(const Hprj_Projection* projection);
/* Map point (x, y) of the projection to geographic longitude and latitude (degrees) on the
 * projection's datum, and back. 0, or -1 with a report. For a geographic projection x is the
 * longitude and y the latitude in degrees. */
int hprj_ProjectionToGeographic(const Hprj_Projection* projection, double x, double y,
                                double* longitude, double* latitude, ErrorReport** err);
int hprj_ProjectionFromGeographic(const Hprj_Projection* projection, double longitude,
                                  double latitude, double* x, double* y, ErrorReport** err);
/* The projection as an object with its design, for hmif_MIFableObjectConvertToMIF. The caller
 * frees the object with hmif_ObjectFree and destroys the design. 0, or -1 with a report. */
int hprj_ProjectionConvertToMIFable(const Hprj_Projection* projection, void** object,
                                    HmifDesign** design, ErrorReport** err);
/* The reverse: a new projection from such an object and design; null with a report. */
Hprj_Projection* hprj_ProjectionConvertFromMIFable(const void* object, const HmifDesign* design,
                                                   ErrorReport** err);

/* ---------------------------------------------------------------- elevation info */

/* The vertical reference of heights: spheroid and datum names, units ("meters", "feet", ...)
 * and elevation type ("height"). */
typedef struct Hprj_ElevationInfo {
  char spheroidName[HPRJ_NAME_SIZE];
  char datumName[HPRJ_NAME_SIZE];
  char units[HPRJ_NAME_SIZE];
  char elevationType[HPRJ_NAME_SIZE];
} Hprj_ElevationInfo;

/* A new record from the four names (null counts as ""); null with a report for a name longer
 * than the record holds or heap exhaustion. Free with hprj_ElevationInfoFree. */
Hprj_ElevationInfo* hprj_ElevationInfoCreateByName(const char* spheroidName,
                                                   const char* datumName, const char* units,
                                                   const char* elevationType, ErrorReport** err);
/* Frees *info and sets it to null; accepts null. */
void hprj_ElevationInfoFree(Hprj_ElevationInfo** info);
/* As for projections. */
int hprj_ElevationInfoConvertToMIFable(const Hprj_ElevationInfo* info, void** object,
                                       HmifDesign** design, ErrorReport** err);
Hprj_ElevationInfo* hprj_ElevationInfoConvertFromMIFable(const void* object,
                                                         const HmifDesign* design,
                                                         ErrorReport** err);
/* The elevation info of a raster DEM's layer (units from the raster's unit type, "meters" when
 * it has none). Null with a report when the file cannot be read. */
Hprj_ElevationInfo* hprj_ElevationInfoRead(const char* fileName, const char* layerName,
                                           ErrorReport** err);

#ifdef __cplusplus
} /* extern "C" */

#include "hostlog.h"

/* Text that owns a heap text (hmsc_HeapMalloc) and frees it when it goes. */
class HtxtTextA {
 public:
  HtxtTextA() = default;
  explicit HtxtTextA(char* heapText) : text_(heapText) {}
  ~HtxtTextA();
  HtxtTextA(const HtxtTextA&) = delete;
  HtxtTextA& operator=(const HtxtTextA&) = delete;
  /* Takes over heapText, freeing the text held before. */
  HtxtTextA& operator=(char* heapText);
  const char* c_str() const { return text_ ? text_ : ""; }
  char* get() const { return text_; }
  /* Gives up the text without freeing it. */
  char* release();

 private:
  char* text_ = nullptr;
};

/* Error accumulator: an error slot for host calls, which Check turns into an exception and the
 * Log forms record (printed as notes, severity 0, through the print handler). Destruction
 * deletes whatever report the slot still holds. */
class HerrException {
 public:
  HerrException(const char* sourceFile, const char* function);
  virtual ~HerrException();
  HerrException(const HerrException&) = delete;
  HerrException& operator=(const HerrException&) = delete;
  /* The slot to hand to host calls. */
  virtual ErrorReport** ErrorSlot();
  /* Throws HlogException (message of the slot's report, line) when the slot holds a report. */
  void Check(int line);
  void Log(int line, const HlogException& exception);
  void Log(int line, const char* text);
  void Log(int line);
  /* Deletes the slot's report. */
  void Clear();

 private:
  [[maybe_unused]] const char* file_;  /* recorded as the host does; no log line names it */
  const char* function_;
  ErrorReport* report_ = nullptr;
};
#endif

/* ---------------------------------------------------------------- raster layers (DEM-layer) */
#ifdef __cplusplus
extern "C" {
#endif

typedef struct HimgLayer HimgLayer;
typedef struct HxfrXForm HxfrXForm;

typedef struct HstaStatistics {
  double minimum;
  double maximum;
  double mean;
  double stdDev;
  int64_t validCount;
} HstaStatistics;

/* A 1-by-n rectangle of pixel values as 64-bit reals. */
typedef struct HimgPixelRect {
  int32_t width;
  int32_t height;
  int32_t pixelType;
  double* values;
} HimgPixelRect;

/* Layer names of a raster file: "<file>(:Layer_1)", "<file>(:Layer_2)", ... one per band.
 * Null with a report when the file cannot be opened. */
HstrStringList* himg_LayerGetNames(const char* fileName, HintInit* init, ErrorReport** err);
/* Opens a layer by name; options are ints ended by 0 (4097, 1: read only). Null with a report. */
HimgLayer* himg_LayerOpen(const char* layerName, HintInit* init, ErrorReport** err, ...);
void himg_LayerClose(HimgLayer** layer, ErrorReport** err);
/* The layer's pixel type (index into hmsc_AddressOf_hpxm_Convert) and its raw null value
 * (owned by the layer; null when it has none). */
int32_t himg_LayerPixelType(const HimgLayer* layer);
const void* himg_LayerRawNullValue(const HimgLayer* layer);
/* Statistics over valid pixels; band must be 0. Null with a report. */
HstaStatistics* himg_StatisticsRead(HimgLayer* layer, int32_t band, ErrorReport** err);
void hsta_StatisticsDelete(HstaStatistics** statistics, ErrorReport** err);
HimgPixelRect* himg_PixelRectCreate(int32_t width, int32_t height, int32_t pixelType,
                                    ErrorReport** err);
void himg_PixelRectDelete(HimgPixelRect** rect, ErrorReport** err);
/* Reads the width x height pixels at (column, row) into rect as 64-bit reals. 0, or -1 with a
 * report (outside the layer, read error). */
int himg_LayerRasterPixelRectGet(HimgLayer* layer, int32_t column, int32_t row, int32_t width,
                                 int32_t height, int32_t pixelType, HimgPixelRect* rect,
                                 ErrorReport** err);
/* Sets the layer's null value from a 1-by-1 data buffer. 0, or -1 with a report. */
int himg_LayerRasterNullValueSet(HimgLayer* layer, const HgdaBaseData* value, ErrorReport** err);

/* Converts one raw pixel value of a pixel type to a double. */
typedef double (*HpxmConvert)(const void* raw);
/* The table of converters, indexed by pixel type. */
const HpxmConvert* hmsc_AddressOf_hpxm_Convert(void);

/* Transforms n points (x, y pairs) with a geometric transform. 0, or -1 with a report. */
int hxfr_Transform(HxfrXForm* xform, int32_t n, const double* in, double* out, ErrorReport** err);
void hxfr_XFormFree(HxfrXForm** xform, ErrorReport** err);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* HOSTCORE_H */
