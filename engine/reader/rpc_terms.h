// The twenty terms of an RPC polynomial (RPC00B and GDAL's RPC metadata), in their order.
#ifndef SENMOD_IO_RPC_TERMS_H
#define SENMOD_IO_RPC_TERMS_H

namespace senmod_io {

constexpr int kRpcTerms = 20;

// Powers of normalised longitude, latitude and height of each term, in RPC term order.
constexpr int kRpcPowers[kRpcTerms][3] = {
    {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1},
    {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {1, 1, 1}, {3, 0, 0}, {1, 2, 0}, {1, 0, 2},
    {2, 1, 0}, {0, 3, 0}, {0, 1, 2}, {2, 0, 1}, {0, 2, 1}, {0, 0, 3}};

}  // namespace senmod_io

#endif
