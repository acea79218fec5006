#include "model_loader.h"

#include <cpl_string.h>
#include <gdal.h>

#include <algorithm>
#include <cstring>

#include "covariance_checks.h"
#include "model_checks.h"
#include "gdal_quiet.h"
#include "parameter_records.h"
#include "read_error.h"
#include "record_checker.h"
#include "rpc_accuracy.h"
#include "rpc_records.h"
#include "rsm_b_records.h"
#include "rsm_records.h"
#include "stored_parameters.h"
#include "tre_records.h"

namespace senmod_io {

namespace {

// Host objects of a conversion, released on every path.
struct Converted {
  void* object = nullptr;
  HmifDesign* design = nullptr;
  ~Converted() {
    if (design) hmif_ObjectFree(&object, design, nullptr);
    hmif_DesignDestroy(design);
  }
};

struct HeapText {
  char* text = nullptr;
  ~HeapText() { hmsc_HeapFree(text); }
  std::string str() const { return text ? text : ""; }
};

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};

[[noreturn]] void libraryFailure(const std::string& file, const std::string& call,
                                 ErrorReport** report) {
  const std::string detail = takeReportText(report);
  throw ReadError(file + ": " + call + " failed" + (detail.empty() ? "" : ": " + detail));
}

double meanHeight(const RSM_Model& model,
                  const std::optional<std::vector<double>>& groundReferencePoint) {
  double x = 0.0, y = 0.0, height = 0.0;
  if (groundReferencePoint) {
    const std::vector<double>& p = *groundReferencePoint;
    smod_RSMConvertGRNDD(&model, 0, p[0], p[1], p[2], &x, &y, &height, nullptr);
    return height;
  }
  const Smod_Doubles& vertices = model.rsm.groundDomain;
  double low = 0.0, high = 0.0;
  for (int32_t i = 0; i + 2 < vertices.count; i += 3) {
    smod_RSMConvertGRNDD(&model, 0, vertices.data[i], vertices.data[i + 1],
                         vertices.data[i + 2], &x, &y, &height, nullptr);
    low = i == 0 ? height : std::min(low, height);
    high = i == 0 ? height : std::max(high, height);
  }
  return (low + high) / 2.0;
}

const char* const kNitfRpcSource = "NITF RPC00B";
const char* const kRpcMetadataSource = "RPC metadata (";

// The convention of a version 1 model file's model. That version stored no convention; the
// source label its readers wrote (RPC sources centre, the others corner) is the only information
// there is. Models read since then carry their convention from the reader, never from a label.
PixelConvention conventionOfVersion1Source(const std::string& source) {
  const bool rpc = source == kNitfRpcSource || source.rfind(kRpcMetadataSource, 0) == 0;
  return rpc ? PixelConvention::Center : PixelConvention::Corner;
}

XformPtr wrap(ModelPtr model, const std::string& file) {
  XformPtr xform(smod_RSMXformGetFromRSMData(model.get(), nullptr));
  if (!xform) throw ReadError(file + ": smod_RSMXformGetFromRSMData failed");
  model.release();
  return xform;
}

StoredObject storeRecord(const void* record, const char* design,
                         void (*convert)(const void*, void**, int32_t*, HmifDictionary**,
                                         ErrorReport**),
                         const std::string& file) {
  void* bytes = nullptr;
  int32_t count = 0;
  HmifDictionary* dictionary = nullptr;
  ErrorReport* report = nullptr;
  convert(record, &bytes, &count, &dictionary, &report);
  if (report) libraryFailure(file, std::string("converting ") + design, &report);
  HeapText text{hmif_DictionaryToText(dictionary, &report)};
  hmif_DictionaryDestroy(dictionary);
  StoredObject stored{design, text.str(), {}};
  stored.bytes.assign(static_cast<unsigned char*>(bytes),
                      static_cast<unsigned char*>(bytes) + count);
  hmsc_HeapFree(bytes);
  if (!text.text) libraryFailure(file, "hmif_DictionaryToText", &report);
  return stored;
}

template <typename Record, void (*Convert)(const Record*, void**, int32_t*, HmifDictionary**,
                                           ErrorReport**)>
void convertRecord(const void* record, void** bytes, int32_t* count, HmifDictionary** dictionary,
                   ErrorReport** report) {
  Convert(static_cast<const Record*>(record), bytes, count, dictionary, report);
}

// The transform object's model in persistent form.
StoredObject storeXform(RSM_Xform* xform, const std::string& file) {
  ErrorReport* report = nullptr;
  Converted object;
  smod_RSMXformConvertToMIFable(xform, &object.object, &object.design, &report);
  if (report || !object.design) libraryFailure(file, "smod_RSMXformConvertToMIFable", &report);
  void* bytes = nullptr;
  HeapText dictionary, type;
  const int32_t count = hmif_MIFableObjectConvertToMIF(object.object, object.design, &bytes,
                                                       &dictionary.text, &type.text, &report);
  if (count < 0) libraryFailure(file, "hmif_MIFableObjectConvertToMIF", &report);
  StoredObject stored{type.str(), dictionary.str(), {}};
  stored.bytes.assign(static_cast<unsigned char*>(bytes),
                      static_cast<unsigned char*>(bytes) + count);
  hmsc_HeapFree(bytes);
  return stored;
}

// The design name and dictionary text under which this library stores a model: a model file
// whose model was stored under others does not fit the library's records.
const StoredObject& libraryModelForm() {
  static const StoredObject form = [] {
    ErrorReport* report = nullptr;
    ModelPtr empty(smod_RSMCreate(&report));
    if (!empty) throw std::bad_alloc();
    return storeXform(wrap(std::move(empty), "model").get(), "model");
  }();
  return form;
}

// The design names and dictionary texts under which this library stores covariance records.
const std::vector<StoredObject>& libraryRecordForms() {
  static const std::vector<StoredObject> forms = [] {
    ErrorReport* report = nullptr;
    CovarianceRecords empty;
    empty.apa.reset(smod_RSMAPACreate(&report));
    empty.dca.reset(smod_RSMDCACreate(&report));
    empty.eca.reset(smod_RSMECACreate(&report));
    if (!empty.apa || !empty.dca || !empty.eca) throw std::bad_alloc();
    return std::vector<StoredObject>{
        storeRecord(empty.apa.get(), "Smod_RSMAPA",
                    convertRecord<Smod_RSMAPA, smod_RsmApaConvertToMIF>, "record"),
        storeRecord(empty.dca.get(), "Smod_RSMDCA",
                    convertRecord<Smod_RSMDCA, smod_RsmDcaConvertToMIF>, "record"),
        storeRecord(empty.eca.get(), "Smod_RSMECA",
                    convertRecord<Smod_RSMECA, smod_RsmEcaConvertToMIF>, "record")};
  }();
  return forms;
}

// A covariance record of a model file must be one the library stores, under the library's own
// dictionary (so that it decodes into the library's record), and pass the checks that a record
// read from tagged records passes, and records[at] must be the first of its design. Returns the
// decoded record.
std::unique_ptr<Converted> decodeStoredRecord(const std::vector<StoredObject>& records, size_t at,
                                              const std::string& path) {
  const StoredObject& record = records[at];
  const std::vector<StoredObject>& forms = libraryRecordForms();
  const auto form = std::find_if(forms.begin(), forms.end(), [&](const StoredObject& f) {
    return f.design == record.design;
  });
  if (form == forms.end()) {
    throw ReadError(path + ": the model file holds a record \"" + record.design +
                    "\", which is not a covariance record");
  }
  if (record.dictionary != form->dictionary) {
    throw ReadError(path + ": the model file's record " + record.design +
                    " is stored under a dictionary this version of senmod does not use");
  }
  for (size_t i = 0; i < at; ++i) {
    if (records[i].design == record.design) {
      throw ReadError(path + ": the model file holds more than one " + record.design + " record");
    }
  }
  ErrorReport* report = nullptr;
  auto check = std::make_unique<Converted>();
  if (hmif_MIFableObjectConvertFromMIF(&check->object, &check->design, record.bytes.data(),
                                       static_cast<int32_t>(record.bytes.size()),
                                       record.dictionary.c_str(), record.design.c_str(),
                                       &report) != 0) {
    throw ReadError(path + ": the model file's record " + record.design +
                    " cannot be decoded: " + takeReportText(&report));
  }
  if (record.design == "Smod_RSMAPA") checkApa(*static_cast<Smod_RSMAPA*>(check->object), path);
  if (record.design == "Smod_RSMDCA") checkDca(*static_cast<Smod_RSMDCA*>(check->object), path);
  if (record.design == "Smod_RSMECA") checkEca(*static_cast<Smod_RSMECA*>(check->object), path);
  return check;
}

// The parameters of the A records (any may be null), or nothing when there are none.
std::optional<AdjustableParameters> parametersOfA(const Smod_RSMAPA* apa, const Smod_RSMDCA* dca,
                                                  const Smod_RSMECA* eca,
                                                  const std::string& imageId,
                                                  const std::string& file) {
  if (!apa && !dca && !eca) return std::nullopt;
  return combineParameterRecords(parameterRecordsOfA(apa, dca, eca, imageId, file), file);
}

// Checks the covariance records of a model file (decodeStoredRecord) and returns the parameters
// of its A records: RSMDCA's block of the image RSMAPA names, else of the first image.
std::optional<AdjustableParameters> parametersOfStoredRecords(
    const std::vector<StoredObject>& records, const std::string& path) {
  std::vector<std::unique_ptr<Converted>> decoded;
  for (size_t i = 0; i < records.size(); ++i) decoded.push_back(decodeStoredRecord(records, i, path));
  auto record = [&](const char* design) -> const void* {
    for (size_t i = 0; i < records.size(); ++i) {
      if (records[i].design == design) return decoded[i]->object;
    }
    return nullptr;
  };
  const auto* apa = static_cast<const Smod_RSMAPA*>(record("Smod_RSMAPA"));
  return parametersOfA(apa, static_cast<const Smod_RSMDCA*>(record("Smod_RSMDCA")),
                       static_cast<const Smod_RSMECA*>(record("Smod_RSMECA")),
                       apa && apa->iid.data ? apa->iid.data : "", path);
}

// The image the tagged records describe, for the B records' checks.
ImageIdentity imageIdentity(const std::vector<Tre>& records, const RSM_Model& model,
                            const std::string& file) {
  ImageIdentity image;
  for (const Tre& tre : records) {
    if (tre.name != "RSMIDA") continue;
    const TreFields f(tre, file);
    image.iid = f.text("IID");
    image.edition = f.text("EDITION");
  }
  const Smod_Doubles& frame = model.rsm.grndd;
  if (frame.count == 12) image.domainFrame.assign(frame.data, frame.data + 12);
  return image;
}

LoadedModel loadModelFile(const std::string& path) {
  return modelFromModelFile(readModelFile(path), path);
}

using Dataset = std::unique_ptr<void, DatasetCloser>;

// The tagged records of an open raster (none when it has none).
std::vector<Tre> taggedRecords(void* dataset, const std::string& path) {
  char** tres = GDALGetMetadata(dataset, "xml:TRE");
  return tres && tres[0] ? parseTreXml(tres[0], path) : std::vector<Tre>{};
}

// The names ("NITF_IM:n:file") of the image segments after the first that carry RSM records or
// RPCs, for a file whose first segment carries neither.
std::vector<std::string> segmentsWithModel(void* dataset, const std::string& path) {
  std::vector<std::string> names;
  char** subdatasets = GDALGetMetadata(dataset, "SUBDATASETS");
  for (int i = 2;; ++i) {
    const char* name = CSLFetchNameValue(
        subdatasets, ("SUBDATASET_" + std::to_string(i) + "_NAME").c_str());
    if (!name) break;
    const Dataset segment(GDALOpen(name, GA_ReadOnly));
    if (!segment) continue;
    if (hasRsmRecords(taggedRecords(segment.get(), path)) ||
        GDALGetMetadata(segment.get(), "RPC")) {
      names.push_back(name);
    }
  }
  gdalTakeMessage();
  return names;
}

LoadedModel loadRaster(const std::string& path) {
  const GdalMessages messages;
  gdalTakeMessage();
  const Dataset dataset(GDALOpen(path.c_str(), GA_ReadOnly));
  if (!dataset) {
    const std::string why = gdalTakeMessage();
    throw ReadError(path + ": not a model file and not a raster GDAL can read" +
                    (why.empty() ? "" : " (" + why + ")"));
  }
  const std::vector<Tre> records = taggedRecords(dataset.get(), path);
  if (hasRsmRecords(records)) return modelFromTreRecords(records, path);
  LoadedModel loaded;
  char** rpc = GDALGetMetadata(dataset.get(), "RPC");
  if (!rpc) {
    const std::vector<std::string> segments = segmentsWithModel(dataset.get(), path);
    if (segments.empty()) throw ReadError(path + ": the file holds neither RSM records nor RPCs");
    std::string list;
    for (const std::string& name : segments) list += (list.empty() ? "" : ", ") + name;
    throw ReadError(path + ": the first image segment holds neither RSM records nor RPCs; name "
                           "a segment that does as the model: " + list);
  }
  ModelPtr model = modelFromRpc(rpc, GDALGetRasterXSize(dataset.get()),
                                GDALGetRasterYSize(dataset.get()), path);
  finishModel(*model, std::nullopt, path);
  loaded.parameters = rpcErrorParameters(
      CSLFetchNameValue(rpc, "ERR_BIAS"), CSLFetchNameValue(rpc, "ERR_RAND"),
      CPLAtof(CSLFetchNameValueDef(rpc, "LONG_OFF", "0")),
      CPLAtof(CSLFetchNameValueDef(rpc, "LAT_OFF", "0")), model->rsm.z_mean);
  loaded.xform = wrap(std::move(model), path);
  const char* driver = GDALGetDriverShortName(GDALGetDatasetDriver(dataset.get()));
  loaded.source = std::strcmp(driver, "NITF") == 0 ? std::string(kNitfRpcSource)
                                                   : kRpcMetadataSource + std::string(driver) + ")";
  loaded.setPixelConvention(PixelConvention::Center);
  return loaded;
}

}  // namespace

void setInternalCoordinateSystem(RSM_Model& model, const std::string& file) {
  ErrorReport* report = nullptr;
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* elevation = nullptr;
  smod_InternalProjectionAndElevInfoGet(&projection, &units, &elevation, &report);
  if (!report) smod_RSMCoordinateSystemSet(&model, projection, units, elevation, &report);
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&elevation);
  if (report) libraryFailure(file, "setting the output coordinate system", &report);
}

void finishModel(RSM_Model& model, const std::optional<std::vector<double>>& groundReferencePoint,
                 const std::string& file) {
  ErrorReport* report = nullptr;
  smod_image2groundCalc(&model, &report);
  if (report) libraryFailure(file, "smod_image2groundCalc", &report);
  // Polynomials the fit of the starting polynomials cannot follow leave values that are not
  // numbers: such a model could not carry an image point to the ground, nor be stored.
  const RecordChecker check("the model", file);
  const Smod_Sections& sections = model.rsm.RationalPolyList;
  for (int32_t i = 0; sections.data && i < sections.count; ++i) {
    check.reals("section " + std::to_string(i + 1) + " imageToGroundPoly",
                sections.data[i].imageToGroundPoly);
  }

  setInternalCoordinateSystem(model, file);
  model.rsm.z_mean = meanHeight(model, groundReferencePoint);
}

LoadedModel modelFromTreRecords(const std::vector<Tre>& records, const std::string& file) {
  RsmModel rsm = modelFromRsmRecords(records, file);
  LoadedModel loaded;
  loaded.covariance = covarianceFromRecords(records, file);
  const ImageIdentity image = imageIdentity(records, *rsm.model, file);
  const std::vector<ParameterRecord> b = parameterRecordsOfB(records, image, file);
  for (const ParameterRecord& record : b) loaded.bRecords.push_back(record.name);
  if (!b.empty()) {
    loaded.parameters = combineParameterRecords(b, file);
  } else {
    const CovarianceRecords& a = loaded.covariance;
    loaded.parameters = parametersOfA(a.apa.get(), a.dca.get(), a.eca.get(), image.iid, file);
  }
  finishModel(*rsm.model, rsm.groundReferencePoint, file);
  loaded.xform = wrap(std::move(rsm.model), file);
  loaded.source = "NITF RSM records";
  loaded.setPixelConvention(PixelConvention::Corner);
  return loaded;
}

LoadedModel modelFromModelFile(const ModelFileContents& contents, const std::string& path) {
  if (contents.objects.empty()) throw ReadError(path + ": the model file holds no model");
  const StoredObject& stored = contents.objects.front();
  const StoredObject& expected = libraryModelForm();
  if (stored.design != expected.design || stored.dictionary != expected.dictionary) {
    throw ReadError(path + ": the model file's model is stored as \"" + stored.design +
                    "\" under a dictionary this version of senmod does not use");
  }
  ErrorReport* report = nullptr;
  Converted model;
  if (hmif_MIFableObjectConvertFromMIF(&model.object, &model.design, stored.bytes.data(),
                                       static_cast<int32_t>(stored.bytes.size()),
                                       stored.dictionary.c_str(), stored.design.c_str(),
                                       &report) != 0) {
    throw ReadError(path + ": the model file's model cannot be decoded: " +
                    takeReportText(&report));
  }
  LoadedModel loaded;
  loaded.xform.reset(smod_RSMXformConvertFromMIFable(model.object, model.design, &report));
  if (!loaded.xform) libraryFailure(path, "smod_RSMXformConvertFromMIFable", &report);
  // The checksum tells damage, not tampering: a model only this file could give is refused.
  checkModel(*loaded.xform->model, path);
  // Whatever system the file names, the command writes WGS 84 longitude and latitude, which is
  // what the model's ground coordinates refer to.
  setInternalCoordinateSystem(*loaded.xform->model, path);
  loaded.source = contents.source;
  loaded.setPixelConvention(contents.pixelConvention
                                ? *contents.pixelConvention
                                : conventionOfVersion1Source(contents.source));
  std::optional<AdjustableParameters> kept;
  for (size_t i = 1; i < contents.objects.size(); ++i) {
    const StoredObject& object = contents.objects[i];
    if (object.design != kParametersDesign) {
      loaded.storedCovariance.push_back(object);
      continue;
    }
    if (kept) {
      throw ReadError(path + ": the model file holds more than one " + object.design + " object");
    }
    if (!object.dictionary.empty()) {
      throw ReadError(path + ": the model file's " + object.design +
                      " is stored under a dictionary this version of senmod does not use");
    }
    kept = decodeParameters(object.bytes, path);
  }
  loaded.parameters = parametersOfStoredRecords(loaded.storedCovariance, path);
  if (kept) loaded.parameters = std::move(kept);
  return loaded;
}

LoadedModel loadModel(const std::string& path) {
  return isModelFile(path) ? loadModelFile(path) : loadRaster(path);
}

std::vector<std::string> covarianceDesigns(const LoadedModel& model) {
  std::vector<std::string> names;
  if (model.covariance.apa) names.push_back("Smod_RSMAPA");
  if (model.covariance.dca) names.push_back("Smod_RSMDCA");
  if (model.covariance.eca) names.push_back("Smod_RSMECA");
  for (const StoredObject& stored : model.storedCovariance) names.push_back(stored.design);
  return names;
}

ModelFileContents modelFileContents(const LoadedModel& model, const std::string& path) {
  ModelFileContents contents;
  contents.source = model.source;
  contents.pixelConvention = model.pixelConvention;
  contents.objects.push_back(storeXform(model.xform.get(), path));
  const CovarianceRecords& c = model.covariance;
  if (c.apa) {
    contents.objects.push_back(storeRecord(
        c.apa.get(), "Smod_RSMAPA", convertRecord<Smod_RSMAPA, smod_RsmApaConvertToMIF>, path));
  }
  if (c.dca) {
    contents.objects.push_back(storeRecord(
        c.dca.get(), "Smod_RSMDCA", convertRecord<Smod_RSMDCA, smod_RsmDcaConvertToMIF>, path));
  }
  if (c.eca) {
    contents.objects.push_back(storeRecord(
        c.eca.get(), "Smod_RSMECA", convertRecord<Smod_RSMECA, smod_RsmEcaConvertToMIF>, path));
  }
  for (const StoredObject& record : model.storedCovariance) contents.objects.push_back(record);
  // The parameters are stored when the stored records would not give them as they are, so
  // that models whose records give them stay readable by versions that know no such object.
  if (model.parameters) {
    std::vector<unsigned char> bytes = encodeParameters(*model.parameters, path);
    std::optional<AdjustableParameters> derived;
    try {
      derived = parametersOfStoredRecords(
          std::vector<StoredObject>(contents.objects.begin() + 1, contents.objects.end()), path);
    } catch (const ReadError&) {
      // Records that a load refuses give nothing; the load will say why.
    }
    if (!derived || encodeParameters(*derived, path) != bytes) {
      contents.objects.push_back({kParametersDesign, "", std::move(bytes)});
    }
  }
  return contents;
}

void saveModel(const LoadedModel& model, const std::string& path,
               const std::vector<WriteInput>& inputs) {
  writeModelFile(path, modelFileContents(model, path), inputs);
}

}  // namespace senmod_io
