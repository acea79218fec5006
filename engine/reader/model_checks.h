// What a model record must satisfy before the command uses it, when it was read from a model
// file: what the records of a NITF file or RPCs could give.
#ifndef SENMOD_IO_MODEL_CHECKS_H
#define SENMOD_IO_MODEL_CHECKS_H

#include <string>

#include "senmod/senmod.h"

namespace senmod_io {

// Every real finite; an image domain of 4 values in order and a ground domain of 8 vertices;
// a ground-domain kind of 0, 1 or 12 values; a grid of 1 to 999 rows and columns of positive
// size holding one valid section per cell, in row order; in each, nonzero normalisation
// scales and polynomials of powers 0 to 5 with as many coefficients as the powers need.
// Throws ReadError "<file>: the model: field <field>: <what is wrong>".
void checkModel(const RSM_Model& model, const std::string& file);

}  // namespace senmod_io

#endif
