// From a file to a transform object ready to use: NITF RSM records, RPCs of any raster GDAL
// reads, or a model file; and back to a model file.
#ifndef SENMOD_IO_MODEL_LOADER_H
#define SENMOD_IO_MODEL_LOADER_H

#include <optional>
#include <string>
#include <vector>

#include "adjustable_parameters.h"
#include "model_file.h"
#include "owned.h"
#include "pixel_convention.h"
#include "tre_records.h"

namespace senmod_io {

struct LoadedModel {
  XformPtr xform;  // owns the model record
  std::string source;  // where the model came from, for people ("NITF RSM records", ...)
  CovarianceRecords covariance;  // the covariance records read from a NITF file
  std::vector<StoredObject> storedCovariance;  // those read from a model file, as stored
  // The B covariance records (RSMAPB, RSMDCB, RSMECB) read from a NITF file; a model file keeps
  // the parameters made from them, not the records.
  std::vector<std::string> bRecords;
  // Where the model's image coordinates put (0, 0): set by the reader that knows the model's
  // kind, kept by model files.
  PixelConvention pixelConvention = PixelConvention::Corner;
  // The adjustable parameters the records describe, with their values applied in evaluation.
  std::optional<AdjustableParameters> parameters;

  void setPixelConvention(PixelConvention convention) { pixelConvention = convention; }
};

// Completes a filled model record: the starting polynomials of every section
// (smod_image2groundCalc), the library's internal geographic WGS 84 coordinate system as
// output coordinate system, and as mean height the height of groundReferencePoint (ground-domain
// coordinates) when given, else the middle of the ground domain's heights. Throws ReadError
// naming file when the library refuses the model.
void finishModel(RSM_Model& model, const std::optional<std::vector<double>>& groundReferencePoint,
                 const std::string& file);

// Sets the library's internal geographic WGS 84 coordinate system as the model's output
// coordinate system. Throws ReadError naming file when the library refuses it.
void setInternalCoordinateSystem(RSM_Model& model, const std::string& file);

// Reads the model of path, with the internal coordinate system as its output coordinate system
// (a model file may name another); GDAL's "NITF_IM:n:file" names image segment n (from 0) of a
// NITF file, a plain NITF name its first segment. Throws ReadError naming path for a file that
// is none of the three kinds (listing the segments that carry a model when the first carries
// none), and for a bad record or a damaged model file.
LoadedModel loadModel(const std::string& path);

// The model of one image's tagged records, as loadModel reads it from a NITF image segment:
// the RSM records made into a finished model (see finishModel), the covariance records, and the
// adjustable parameters they describe (parameter_records.h: the B records when there are any,
// else the A records). Throws ReadError naming file, record and field for a missing or bad
// record, and naming both records for records that define different parameters.
LoadedModel modelFromTreRecords(const std::vector<Tre>& records, const std::string& file);

// The model of a decoded model file, as loadModel reads it: its model with the internal
// coordinate system, its covariance records, each checked as strictly as one read from tagged
// records, and its adjustable parameters: the stored ones (stored_parameters.h) when the file
// holds them, else those of its A records (RSMDCA's block of the image RSMAPA names, else of the
// first image). Throws ReadError naming file for an object this version cannot use.
LoadedModel modelFromModelFile(const ModelFileContents& contents, const std::string& file);

// The design names of the covariance records that came with the model ("Smod_RSMDCA", ...).
std::vector<std::string> covarianceDesigns(const LoadedModel& model);

// The model, its covariance records and its adjustable parameters (when it has them) in
// persistent form, as a model file holds them. Throws ReadError naming file when the library
// cannot store them or the parameters are not consistent (checkParameters).
ModelFileContents modelFileContents(const LoadedModel& model, const std::string& file);

// Writes the model and its covariance records to a model file. Throws ReadError naming path.
// path may not be one of inputs (the file the model came from): refused before writing.
void saveModel(const LoadedModel& model, const std::string& path,
               const std::vector<WriteInput>& inputs = {});

}  // namespace senmod_io

#endif
