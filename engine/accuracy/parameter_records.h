// From covariance records (RSMAPA/RSMDCA/RSMECA or RSMAPB/RSMDCB/RSMECB) to a model's
// adjustable parameters.
//
// Which record gives what:
//  - the definition (frame, terms, normalisation, parameter count): every record that carries
//    one must agree with the others (frame and normalisation to 1e-9 relative, the same terms
//    and count), or the records are refused;
//  - the values: the parameter record (RSMAPA, RSMAPB); zeros without one;
//  - the covariance: the direct record (RSMDCA, RSMDCB), which its producer computed for exactly
//    these parameters, when present; else the indirect record (RSMECA, RSMECB with INCLIC=Y),
//    MAP · ERRCVG · MAPᵀ with ERRCVG block-diagonal over its groups;
//  - the unmodelled error: the indirect record whenever it gives one (INCLUC=Y).
// When records of both editions are present, the B records alone are used (the later edition);
// the A records are still kept as records.
//
// Record conventions:
//  - packed triangles (DERCOV, ERRCVG) hold the upper triangle row by row: c11, c12, ... c1n,
//    c22, ... (the order in which NGA's i_6130a records make DERCOV equal MAP·ERRCVG·MAPᵀ);
//  - RSMDCA with several images: the diagonal block of the image whose IIDI is the model's image
//    id, else of the first image; RSMDCB: the CRSCOV block of that image;
//  - a B covariance whose size is NBASIS (APBASE=Y) is the basis's: the parameters' covariance is
//    AEL · C · AELᵀ; one whose size is NPAR is the parameters' own;
//  - B records with LOCTYP=N take the model's rectangular ground domain frame; on a geodetic
//    ground domain they are refused (no frame is given for them);
//  - RSMECB's correlation models (ACSMC, TCDF, ...) are checked; only the covariance at zero
//    time separation, ERRCVG itself, is used.
// Every covariance is checked: finite, symmetric to 1e-9 relative, smallest eigenvalue at least
// -1e-9 times the largest.
#ifndef SENMOD_IO_PARAMETER_RECORDS_H
#define SENMOD_IO_PARAMETER_RECORDS_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "adjustable_parameters.h"
#include "senmod/senmod.h"

namespace senmod_io {

// What one record says about the parameters: its definition of them, and the values,
// covariance or unmodelled error it gives.
struct ParameterDefinition {
  int count = 0;  // NPAR
  std::array<double, 3> origin{};
  std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::array<double, 3> offset{};
  std::array<double, 3> scale{1, 1, 1};
  std::vector<AdjustmentTerm> terms;
  int basisCount = 0;         // NBASIS; 0 without a basis
  std::vector<double> basis;  // AEL, count x basisCount row-major
};

struct ParameterRecord {
  enum class Role { Values, Direct, Indirect } role = Role::Values;
  std::string name;  // "RSMAPB"
  std::optional<ParameterDefinition> definition;
  std::vector<double> values;  // Values: one per parameter
  // Direct and Indirect (when given): a full symmetric matrix of covarianceSize², row-major, of
  // the parameters (size count) or of the definition's basis (size basisCount).
  std::vector<double> covariance;
  int covarianceSize = 0;
  std::string covarianceField;  // for messages ("DERCOV")
  std::optional<std::array<double, 3>> unmodelled;  // Indirect: URR, URC, UCC (px²)
};

// The full n x n matrix of an upper triangle packed row by row (n(n+1)/2 values).
std::vector<double> unpackTriangle(const double* packed, int n);

// Throws ReadError "<file>: <record>: field <field>: ..." unless the n x n matrix c (row-major)
// is finite, symmetric to 1e-9 relative and positive semi-definite (smallest eigenvalue at least
// -1e-9 times the largest).
void checkCovariance(const std::vector<double>& c, int n, const std::string& record,
                     const std::string& field, const std::string& file);

// One independent group of an indirect record's original parameters: its size (NUMOPG) and the
// packed upper triangle of its covariance (ERRCVG).
struct PackedGroup {
  int size = 0;
  std::vector<double> packed;
};

// MAP · ERRCVG · MAPᵀ (npar x npar, row-major): map is npar x nparo row-major, the groups' sizes
// sum to nparo and their covariances make ERRCVG's diagonal blocks in order. Throws ReadError
// naming file, record and field for groups that do not fill nparo or a group covariance that
// checkCovariance refuses.
std::vector<double> indirectCovariance(const double* map, int npar, int nparo,
                                       const std::vector<PackedGroup>& groups,
                                       const std::string& record, const std::string& file);

// The name of each of count parameters: the names of the terms it drives, in term order, joined
// by "+"; "#" and its number from 1 ("#7") for a parameter that drives none, which records may
// hold and which moves nothing.
std::vector<std::string> parameterNames(const std::vector<AdjustmentTerm>& terms, int count);

// m · c · mᵀ for m of rows x n and c of n x n (row-major); exactly symmetric.
std::vector<double> congruence(const std::vector<double>& m, int rows,
                               const std::vector<double>& c, int n);

// The records made into parameters by the rule above; records are the parameter, direct and
// indirect records of one edition (any may be absent), in that order. Throws ReadError naming
// file and both records when definitions differ, and naming file when a covariance record has no
// definition to go with.
AdjustableParameters combineParameterRecords(const std::vector<ParameterRecord>& records,
                                             const std::string& file);

// What the A records say (each may be null; checked as covariance_checks.h checks them):
// imageId is the model's image id (RSMIDA's IID), used to pick RSMDCA's image block. Throws
// ReadError naming file, record and field when that block is not NPAR parameters or a
// covariance (DERCOV's block, ERRCVG, URR/URC/UCC) fails checkCovariance.
std::vector<ParameterRecord> parameterRecordsOfA(const Smod_RSMAPA* apa, const Smod_RSMDCA* dca,
                                                 const Smod_RSMECA* eca,
                                                 const std::string& imageId,
                                                 const std::string& file);

// Throws ReadError "<file>: <what>: ..." unless parameters is consistent: names are those of
// its terms (parameterNames), every term names a parameter, no term twice,
// finite frame, values and covariance (count² and positive semi-definite as above), non-zero
// scales, unmodelled error positive semi-definite.
void checkParameters(const AdjustableParameters& parameters, const std::string& what,
                     const std::string& file);

}  // namespace senmod_io

#endif
