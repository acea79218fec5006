// senmod.Model: a model of the engine's face and the set-up (DEM, residual limit) of its calls.
#ifndef SENMOD_PYTHON_MODEL_H
#define SENMOD_PYTHON_MODEL_H

#include <pybind11/pybind11.h>

#include <array>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "senmod/senmod_io.h"

namespace senmod_python {

// Transform, footprint, ortho, info and save calls run without the GIL and in parallel on one
// model, as the face allows, while it keeps its set-up. A call that changes the set-up (another
// DEM, a residual limit) runs alone: the face forbids changing it while any call runs.
class Model {
 public:
  // Opens the model of the file path (str, bytes or os.PathLike); raises senmod.Error.
  explicit Model(const pybind11::object& path);
  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  pybind11::object info();
  void save(const pybind11::object& path);
  pybind11::tuple groundToImage(const pybind11::object& lon, const pybind11::object& lat,
                                const pybind11::object& h, const pybind11::object& dem,
                                bool returnStatus);
  pybind11::tuple imageToGround(const pybind11::object& sample, const pybind11::object& row,
                                const pybind11::object& h, const pybind11::object& dem,
                                std::optional<double> maxResidual, bool returnStatus);
  pybind11::object footprint(const pybind11::object& dem, std::optional<double> height,
                             double step);
  pybind11::object ortho(const pybind11::object& image, const pybind11::object& output,
                         const pybind11::object& dem, std::optional<double> height,
                         std::optional<std::string> tSrs, std::optional<std::array<double, 2>> tr,
                         std::optional<std::array<double, 4>> te, const std::string& resampling,
                         std::optional<int> threads, const pybind11::object& co,
                         std::optional<std::string> format);

  // Adjustable parameters and accuracy (model_accuracy.cpp).
  pybind11::dict adjustableParameters();
  std::unique_ptr<Model> withParameters(const pybind11::object& values);
  pybind11::object imageCovariance(const pybind11::object& lon, const pybind11::object& lat,
                                   const pybind11::object& h, const pybind11::object& dem);
  pybind11::object groundCovariance(const pybind11::object& sample, const pybind11::object& row,
                                    const pybind11::object& dem, const pybind11::object& height,
                                    double heightSigma, double imageSigma);
  pybind11::dict accuracy(const pybind11::object& sample, const pybind11::object& row,
                          const pybind11::object& dem, const pybind11::object& height,
                          double heightSigma, double imageSigma);
  pybind11::object toRpc(const pybind11::object& path, int degree, std::optional<int> grid,
                         std::optional<int> heights, const pybind11::object& image,
                         std::optional<double> maxResidual, std::optional<std::string> format);

  // The model refined with the ground control points gcps (a file name, or an (n, 5..8) array
  // of sample, row, lon, lat, h[, sigma_h, sigma_v, sigma_px]) and the report as a dict
  // (model_refine.cpp).
  pybind11::tuple refine(const pybind11::object& gcps, std::optional<std::string> params,
                         int maxIterations, bool reject, const pybind11::object& dem);

  // The file the model was opened from, as given.
  pybind11::object path() const;
  // Pickling: (path, DEM path or None[, parameter values]), and the model reopened from them.
  // Raises TypeError for a refined model, which its file does not hold.
  pybind11::tuple state();
  static std::unique_ptr<Model> fromState(const pybind11::tuple& state);

 private:
  // Adopts model, made from the model opened from path.
  Model(std::string path, smod_Model* model) : path_(std::move(path)), model_(model) {}
  // Image to ground with covariance: (lon, lat, h, cov of shape (..., 3, 3), ce90, le90).
  pybind11::tuple groundErrors(const pybind11::object& sample, const pybind11::object& row,
                               const pybind11::object& dem, const pybind11::object& height,
                               double heightSigma, double imageSigma);

  // Runs body (which must not touch Python) without the GIL, on the DEM at dem ("" none;
  // nullopt: whatever is set; the DEM set is read again when its file changed since) and with
  // the residual limit maxResidual for this call only.
  template <typename Body>
  auto run(const std::optional<std::string>& dem, std::optional<double> maxResidual, Body body);
  // What stat tells of a file that changes when it is rewritten or replaced: device, inode,
  // size, modification and change times; all 0 when it cannot be stat'ed.
  using FileStamp = std::array<long long, 7>;
  static FileStamp fileStamp(const std::string& path);
  void setDem(const std::string& dem, const FileStamp& stamp);

  std::string path_;  // the file name's bytes
  // The parameter values given by with_parameters, which pickling keeps beside the path.
  std::optional<std::vector<double>> values_;
  smod_Model* model_ = nullptr;
  bool derived_ = false;  // refined: neither path_ nor path_ and values_ give it
  std::string dem_;  // the DEM set on model_, "" for none
  FileStamp demStamp_{};  // dem_'s file when it was set
  std::shared_mutex mutex_;
};

// The DEM a call asks for: nullopt when its heights are given (the DEM is then left as set),
// "" for none. Raises ValueError for heights and a DEM together.
std::optional<std::string> demOf(pybind11::handle dem, bool heightsGiven, const char* heightName);

// The value of a JSON text of the face (bytes that are not UTF-8 become U+FFFD).
pybind11::object jsonValue(const std::string& text);

}  // namespace senmod_python

#endif
