#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Generates the codebook sources of g723/tables from the codebook rows.

Usage: generate_tables.py ROWS_DIR
ROWS_DIR holds lsp_band0.txt, lsp_band1.txt, lsp_band2.txt, acb_gain_85.txt and
acb_gain_170.txt: one line per row in transmitted-index order, "index v0 v1 ...",
fixed-point integers ('#' starts a comment). The script derives the stored
(cluster) order, the index maps and the cluster centroids and writes
lsp_tables.cpp, acb_gain_tables.cpp and cosine_table.cpp next to itself. The
generated files are committed; nothing reads the rows at build or run time.
"""
import math
import os
import struct
import sys
from fractions import Fraction

# Cluster label of every transmitted LSP index: "band cluster size: indices".
LSP_CLUSTERS = """
0 0 25: 123, 126-135, 137-141, 143-148, 168, 170, 172
0 1 28: 19-20, 22, 71, 74-75, 78-85, 87-88, 91, 98, 104, 113-116, 119-121, 125, 160
0 2 20: 0, 13, 45, 47, 50, 70, 72-73, 122, 124, 159, 186, 193-194, 200-204, 212
0 3 16: 155-158, 226-236, 239
0 4 14: 165, 175-176, 178-180, 183, 195-198, 213, 220-221
0 5 10: 24-25, 27-30, 35-37, 199
0 6 19: 14-18, 21, 38-41, 43, 46, 76-77, 90, 110, 184, 188, 191
0 7 15: 31-32, 208-211, 238, 244-251
0 8 25: 26, 136, 142, 149-154, 173, 177, 205-207, 214-219, 222-225, 243
0 9 23: 1-2, 4, 6-7, 86, 89, 92-97, 99-101, 105-109, 111-112
0 10 11: 3, 5, 8-12, 68-69, 102-103
0 11 14: 23, 33-34, 51-57, 187, 189-190, 192
0 12 8: 237, 240-242, 252-255
0 13 13: 117-118, 161-164, 166-167, 169, 171, 174, 181-182
0 14 8: 42, 44, 48-49, 62-64, 185
0 15 7: 58-61, 65-67
1 0 24: 65-67, 127, 145-149, 229-237, 240-241, 244-247
1 1 22: 107, 109, 111, 119, 121, 124-126, 132-133, 138-140, 142-143, 205-206, 208, 210-211, 215, 228
1 2 15: 0, 8-9, 11, 71, 80-81, 83, 106, 112-115, 118, 120
1 3 20: 42, 45, 49-59, 162, 164, 168-169, 183, 186-187
1 4 22: 33-35, 37, 41, 43-44, 46-47, 72, 78-79, 88-89, 95, 159, 161, 163, 165-166, 180, 182
1 5 12: 150, 238, 242-243, 248-255
1 6 15: 12, 14, 171-177, 191-192, 195-197, 199
1 7 16: 10, 73-75, 116-117, 122-123, 128-131, 144, 160, 216, 218
1 8 12: 1, 3-5, 13, 15-17, 24-25, 178-179
1 9 14: 6-7, 170, 188-190, 193-194, 198, 200-204
1 10 12: 19, 22, 60-64, 68-70, 207, 209
1 11 14: 18, 20-21, 23, 26, 82, 84-87, 90-93
1 12 11: 36, 38-40, 48, 76-77, 99-100, 102, 153
1 13 11: 2, 27-32, 167, 181, 184-185
1 14 19: 105, 135-137, 141, 158, 212-213, 217, 219-227, 239
1 15 17: 94, 96-98, 101, 103-104, 108, 110, 134, 151-152, 154-157, 214
2 0 28: 25-26, 29, 32-39, 44-45, 47, 53, 55-56, 58, 60, 62, 204-205, 207-210, 229, 231
2 1 20: 54, 57, 61, 63, 65-72, 86, 88-93, 110
2 2 24: 0, 103, 132, 135, 138, 149, 153-154, 159, 164, 166-169, 171, 174, 176, 178, 199-200, 202-203, 211-212
2 3 14: 73-75, 81-85, 216, 223-226, 235
2 4 21: 129, 133-134, 137, 141, 145, 160-161, 165, 170, 172-173, 177, 179-181, 185, 187-188, 192-193
2 5 14: 48-52, 59, 64, 79-80, 107, 109, 232-234
2 6 24: 1-8, 10-15, 31, 40, 42, 104-106, 155, 175, 206, 236
2 7 14: 9, 16-22, 41, 43, 130-131, 240, 245
2 8 23: 30, 87, 113-117, 119-122, 150, 213-215, 217-221, 227-228, 230
2 9 12: 182-183, 191, 237-239, 243-244, 246, 249-251
2 10 13: 97-101, 108, 111-112, 125-128, 222
2 11 10: 23-24, 241-242, 247-248, 252-255
2 12 14: 27-28, 46, 123-124, 147-148, 151-152, 156-158, 162-163
2 13 9: 184, 186, 189-190, 194-198
2 14 9: 118, 136, 139-140, 142-144, 146, 201
2 15 7: 76-78, 94-96, 102
"""

# Gain codebooks: stored row of every transmitted index (85-row codebook, then
# 170-row codebook), and the cluster sizes over the stored rows.
ACB_INDEX_TO_ROW_85 = [0, 1, 2, 9, 3, 6, 14, 10, 18, 13, 16, 12, 11, 17, 21, 8, 19, 7, 33, 53, 15, 22, 62, 38, 25, 66, 46, 5, 23, 79, 4, 71, 40, 56, 60, 83, 73, 34, 49, 74, 67, 72, 50, 24, 43, 78, 81, 30, 35, 80, 52, 36, 31, 75, 58, 51, 61, 68, 29, 48, 84, 32, 44, 27, 70, 39, 54, 47, 20, 45, 37, 76, 63, 77, 28, 59, 65, 82, 26, 41, 42, 69, 55, 64, 57]
ACB_INDEX_TO_ROW_170 = [0, 5, 3, 6, 8, 10, 11, 14, 12, 13, 15, 9, 19, 127, 26, 135, 140, 16, 123, 46, 129, 58, 111, 134, 96, 118, 24, 27, 110, 150, 25, 120, 23, 31, 30, 131, 137, 71, 1, 106, 86, 29, 122, 124, 4, 136, 119, 95, 32, 21, 139, 18, 67, 112, 73, 43, 115, 47, 51, 141, 48, 44, 79, 108, 85, 132, 65, 158, 35, 142, 99, 7, 126, 76, 138, 97, 128, 75, 56, 45, 28, 89, 62, 144, 161, 61, 94, 33, 145, 162, 52, 78, 114, 59, 80, 155, 113, 83, 68, 105, 22, 90, 66, 40, 100, 57, 20, 49, 69, 81, 36, 77, 148, 109, 133, 39, 87, 160, 149, 54, 104, 92, 143, 116, 117, 72, 163, 101, 53, 37, 34, 154, 125, 93, 88, 121, 82, 156, 130, 64, 102, 55, 147, 159, 166, 70, 63, 146, 74, 60, 168, 17, 151, 38, 84, 103, 42, 91, 50, 41, 107, 2, 169, 164, 98, 157, 165, 153, 152, 167]
ACB_CLUSTER_SIZES_85 = [26, 9, 8, 6, 11, 10, 8, 7]
ACB_CLUSTER_SIZES_170 = [19, 24, 14, 14, 14, 10, 11, 12, 11, 12, 7, 7, 6, 4, 3, 2]

LSP_SCALE = 128
ACB_SCALE = 16384


def read_rows(path, columns):
    rows = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            values = [int(v) for v in line.split()]
            assert len(values) == columns + 1, line
            rows[values[0]] = values[1:]
    assert sorted(rows) == list(range(len(rows)))
    return [rows[i] for i in range(len(rows))]


def parse_lsp_clusters():
    labels = [[None] * 256 for _ in range(3)]
    sizes = [[0] * 16 for _ in range(3)]
    for line in LSP_CLUSTERS.strip().splitlines():
        head, members = line.split(":")
        band, cluster, size = (int(v) for v in head.split())
        count = 0
        for item in members.split(","):
            item = item.strip()
            lo, _, hi = item.partition("-")
            for index in range(int(lo), int(hi or lo) + 1):
                assert labels[band][index] is None
                labels[band][index] = cluster
                count += 1
        assert count == size, (band, cluster)
        sizes[band][cluster] = size
    for band in range(3):
        assert None not in labels[band]
    return labels, sizes


def round_half_away(x):
    # x is a Fraction; nearest integer, halves away from zero.
    n = abs(x)
    r = math.floor(n + Fraction(1, 2))
    return r if x >= 0 else -r


def centroid(rows):
    return [round_half_away(Fraction(sum(col), len(rows))) for col in zip(*rows)]


def flit(value, scale):
    # Exact decimal literal of value / scale (a dyadic rational).
    x = value / scale
    assert x == Fraction(value, scale)
    s = repr(x)
    if "e" not in s and "." not in s:
        s += ".0"
    return s + "f"


def array_rows(rows, scale, indent="    "):
    return ",\n".join(indent + "{{" + ", ".join(flit(v, scale) for v in row) + "}}" for row in rows)


def int_list(values, per_line=16, indent="     "):
    chunks = [values[i:i + per_line] for i in range(0, len(values), per_line)]
    return ",\n".join(indent + ", ".join(str(v) for v in c) for c in chunks)


# Compile-time checks written into the generated sources: the maps invert
# each other, the clusters tile the stored rows, and rows known from the
# codebook definitions come out where the maps say.
LSP_CHECKS = """
// Compile-time checks of the derived order, maps and centroids.
namespace {

constexpr bool lsp_maps_invert_each_other() {
    for (int b = 0; b < kLspBands; ++b)
        for (int i = 0; i < kLspBandRows; ++i)
            if (lsp_row_to_index[b][lsp_index_to_row[b][i]] != i) return false;
    return true;
}

constexpr bool lsp_clusters_tile_the_rows() {
    for (int b = 0; b < kLspBands; ++b) {
        int32_t next = 0;
        for (int k = 0; k < kLspClusters; ++k) {
            if (lsp_cluster_first_row[b][k] != next) return false;
            next += lsp_cluster_size[b][k];
        }
        if (next != kLspBandRows) return false;
    }
    return true;
}

static_assert(lsp_maps_invert_each_other());
static_assert(lsp_clusters_tile_the_rows());
static_assert(lsp_index_to_row[0][0] == 53 && lsp_index_to_row[0][1] == 172 && lsp_index_to_row[0][2] == 173 &&
              lsp_index_to_row[0][3] == 195 && lsp_index_to_row[1][0] == 46 && lsp_index_to_row[2][0] == 48);
static_assert(lsp_band0_codebook[lsp_index_to_row[0][1]] == std::array<float, 3>{-2.109375f, -10.71875f, -8.0625f});
static_assert(lsp_band0_codebook[lsp_index_to_row[0][255]] == std::array<float, 3>{13.2265625f, 37.4453125f, 46.96875f});
static_assert(lsp_band2_codebook[lsp_index_to_row[2][1]] == std::array<float, 4>{4.6953125f, 4.0f, -4.234375f, 2.609375f});
static_assert(lsp_band0_centroids[0] == std::array<float, 3>{1208 / 128.0f, 979 / 128.0f, 212 / 128.0f});

}  // namespace
"""

ACB_CHECKS = """
// Compile-time checks of the derived order, maps and centroids.
namespace {

constexpr bool acb_gain_maps_invert_each_other() {
    for (int i = 0; i < kAcbGainRows85; ++i)
        if (acb_gain_row_to_index[acb_gain_index_to_row[i]] != i) return false;
    for (int i = 0; i < kAcbGainRows170; ++i)
        if (acb_gain_row_to_index[kAcbGainRows85 + acb_gain_index_to_row[kAcbGainRows85 + i]] != i) return false;
    return true;
}

constexpr bool first_taps_are(const acb_gain_row& row, std::array<int, 5> taps) {
    for (int t = 0; t < 5; ++t)
        if (row[t] != taps[t] / 16384.0f) return false;
    return true;
}

static_assert(acb_gain_maps_invert_each_other());
static_assert(first_taps_are(acb_gain_codebook_85[acb_gain_index_to_row[1]], {800, 1496, 167, -256, -338}));
static_assert(first_taps_are(acb_gain_codebook_85[acb_gain_index_to_row[84]], {5881, 9176, 8119, 3934, 3355}));
static_assert(first_taps_are(acb_gain_codebook_170[acb_gain_index_to_row[85 + 1]], {776, 212, 715, 670, 809}));
static_assert(first_taps_are(acb_gain_codebook_170[acb_gain_index_to_row[85 + 169]], {5297, 8374, 8872, 7694, 6538}));
static_assert(first_taps_are(acb_gain_centroids_85[1], {-719, 269, 274, 2657, 10264}));
static_assert(first_taps_are(acb_gain_centroids_170[11], {13233, 1691, 889, 57, 1492}));

}  // namespace
"""

HEADER = "// Generated by g723/tables/generate_tables.py from the codebook rows; do not edit.\n"


def write_lsp(out_dir, rows_dir):
    labels, sizes = parse_lsp_clusters()
    dims = [3, 3, 4]
    books = [read_rows(os.path.join(rows_dir, "lsp_band%d.txt" % b), dims[b]) for b in range(3)]
    row_to_index, index_to_row, first_rows, centroids, stored = [], [], [], [], []
    for b in range(3):
        order = sorted(range(256), key=lambda i: (labels[b][i], i))
        inverse = [0] * 256
        for row, index in enumerate(order):
            inverse[index] = row
        firsts = [sum(sizes[b][:k]) for k in range(16)]
        cents = []
        for k in range(16):
            members = [books[b][i] for i in order[firsts[k]:firsts[k] + sizes[b][k]]]
            assert all(labels[b][i] == k for i in order[firsts[k]:firsts[k] + sizes[b][k]])
            cents.append(centroid(members))
        row_to_index.append(order)
        index_to_row.append(inverse)
        first_rows.append(firsts)
        centroids.append(cents)
        stored.append([books[b][i] for i in order])
    text = [HEADER, '#include "g723/tables/lsp_tables.h"\n\nnamespace g723 {\n']
    text.append("constexpr lsp_vector lsp_dc_vector = {24.4609f, 36.8828f, 60.0781f, 84.4219f, 108.375f,\n"
                "                                  128.8672f, 154.3125f, 173.9062f, 199.0938f, 216.5469f};\n")
    text.append("constexpr std::array<lsp_band, kLspBands> lsp_band_layout = {{{0, 3}, {3, 3}, {6, 4}}};\n")
    for b in range(3):
        text.append("\n// Band %d residual rows in stored order (by cluster, then transmitted index).\n" % b)
        text.append("constexpr std::array<std::array<float, %d>, kLspBandRows> lsp_band%d_codebook = {{\n%s}};\n"
                    % (dims[b], b, array_rows(stored[b], LSP_SCALE)))
    text.append("\nconst std::array<const float*, kLspBands> lsp_band_codebooks = {\n"
                "    lsp_band0_codebook[0].data(), lsp_band1_codebook[0].data(), lsp_band2_codebook[0].data()};\n")
    for name, table in (("lsp_index_to_row", index_to_row), ("lsp_row_to_index", row_to_index)):
        text.append("\nconstexpr std::array<std::array<int16_t, kLspBandRows>, kLspBands> %s = {{\n" % name)
        text.append(",\n".join("    {{\n%s}}" % int_list(t) for t in table))
        text.append("}};\n")
    for name, table in (("lsp_cluster_size", sizes), ("lsp_cluster_first_row", first_rows)):
        text.append("\nconstexpr std::array<std::array<int32_t, kLspClusters>, kLspBands> %s = {{\n" % name)
        text.append(",\n".join("    {{%s}}" % ", ".join(str(v) for v in t) for t in table))
        text.append("}};\n")
    for b in range(3):
        text.append("\n// Band %d cluster centroids: member means rounded to 1/128, halves away from zero.\n" % b)
        text.append("constexpr std::array<std::array<float, %d>, kLspClusters> lsp_band%d_centroids = {{\n%s}};\n"
                    % (dims[b], b, array_rows(centroids[b], LSP_SCALE)))
    text.append(LSP_CHECKS)
    text.append("\nconst std::array<const float*, kLspBands> lsp_cluster_centroids = {\n"
                "    lsp_band0_centroids[0].data(), lsp_band1_centroids[0].data(), lsp_band2_centroids[0].data()};\n")
    text.append("\n}  // namespace g723\n")
    with open(os.path.join(out_dir, "lsp_tables.cpp"), "w") as f:
        f.write("".join(text))


# The rows and centroids four at a time, derived at compile time.
ACB_BLOCKS = """
namespace {

template <std::size_t Rows>
constexpr std::array<acb_gain_block, (Rows + kAcbGainBlockRows - 1) / kAcbGainBlockRows> to_blocks(
    const std::array<acb_gain_row, Rows>& rows) {
    std::array<acb_gain_block, (Rows + kAcbGainBlockRows - 1) / kAcbGainBlockRows> blocks{};
    for (std::size_t r = 0; r < Rows; ++r)
        for (int k = 0; k < kAcbGainRowLength; ++k)
            blocks[r / kAcbGainBlockRows][k][r % kAcbGainBlockRows] = rows[r][k];
    return blocks;
}

constexpr auto acb_gain_blocks_85 = to_blocks(acb_gain_codebook_85);
constexpr auto acb_gain_blocks_170 = to_blocks(acb_gain_codebook_170);
constexpr auto acb_gain_centroid_blocks_85 = to_blocks(acb_gain_centroids_85);
constexpr auto acb_gain_centroid_blocks_170 = to_blocks(acb_gain_centroids_170);

}  // namespace

const std::array<const acb_gain_block*, 2> acb_gain_codebook_blocks = {
    acb_gain_blocks_85.data(), acb_gain_blocks_170.data()};

const std::array<const acb_gain_block*, 2> acb_gain_centroid_blocks = {
    acb_gain_centroid_blocks_85.data(), acb_gain_centroid_blocks_170.data()};
"""


def write_acb(out_dir, rows_dir):
    text = [HEADER, '#include "g723/tables/acb_gain_tables.h"\n\n#include <cstddef>\n\nnamespace g723 {\n']
    index_to_row = ACB_INDEX_TO_ROW_85 + ACB_INDEX_TO_ROW_170
    row_to_index = []
    firsts_all, sizes_all = [], []
    for size, maps, cluster_sizes in ((85, ACB_INDEX_TO_ROW_85, ACB_CLUSTER_SIZES_85),
                                      (170, ACB_INDEX_TO_ROW_170, ACB_CLUSTER_SIZES_170)):
        assert sorted(maps) == list(range(size)) and sum(cluster_sizes) == size
        book = read_rows(os.path.join(rows_dir, "acb_gain_%d.txt" % size), 20)
        inverse = [0] * size
        for index, row in enumerate(maps):
            inverse[row] = index
        row_to_index += inverse
        stored = [book[inverse[row]] for row in range(size)]
        firsts = [sum(cluster_sizes[:k]) for k in range(len(cluster_sizes))]
        firsts_all += firsts
        sizes_all += cluster_sizes
        cents = [centroid(stored[f:f + s]) for f, s in zip(firsts, cluster_sizes)]
        text.append("\n// %d-row codebook in stored (cluster) order, units of 2^-14.\n" % size)
        text.append("constexpr std::array<acb_gain_row, kAcbGainRows%d> acb_gain_codebook_%d = {{\n%s}};\n"
                    % (size, size, array_rows(stored, ACB_SCALE)))
        text.append("\n// Cluster centroids of the %d-row codebook: member means rounded to 2^-14,\n"
                    "// halves away from zero.\n" % size)
        text.append("constexpr std::array<acb_gain_row, kAcbGainClusters%d> acb_gain_centroids_%d = {{\n%s}};\n"
                    % (size, size, array_rows(cents, ACB_SCALE)))
    text.append("\nconst std::array<const acb_gain_row*, 2> acb_gain_codebooks = {\n"
                "    acb_gain_codebook_85.data(), acb_gain_codebook_170.data()};\n")
    text.append("\nconst std::array<const acb_gain_row*, 2> acb_gain_cluster_centroids = {\n"
                "    acb_gain_centroids_85.data(), acb_gain_centroids_170.data()};\n")
    text.append(ACB_BLOCKS)
    for name, table in (("acb_gain_index_to_row", index_to_row), ("acb_gain_row_to_index", row_to_index)):
        text.append("\nconstexpr std::array<int16_t, kAcbGainRows85 + kAcbGainRows170> %s = {\n%s};\n"
                    % (name, int_list(table, indent="    ")))
    for name, table in (("acb_gain_cluster_first_row", firsts_all), ("acb_gain_cluster_size", sizes_all)):
        text.append("\nconstexpr std::array<int32_t, kAcbGainClusters85 + kAcbGainClusters170> %s = {\n%s};\n"
                    % (name, int_list(table, indent="    ")))
    text.append(ACB_CHECKS)
    text.append("\n}  // namespace g723\n")
    with open(os.path.join(out_dir, "acb_gain_tables.cpp"), "w") as f:
        f.write("".join(text))


def write_cosine(out_dir):
    values = []
    for i in range(512):
        # cos(pi i / 256) = sin(pi (128 - m) / 256) with m folded into 0..256,
        # so that the two zeros of the period come out as exact zeros rather
        # than as the rounding residue of cos(pi / 2) in double precision.
        m = i if i <= 256 else 512 - i
        x = struct.unpack("f", struct.pack("f", math.sin(math.pi * (128 - m) / 256)))[0]
        text = "%.9g" % x
        if "." not in text and "e" not in text:
            text += ".0"
        values.append(text)
    # "%.9g" round-trips every single-precision value.
    lines = [", ".join(v + "f" for v in values[i:i + 6]) for i in range(0, 512, 6)]
    text = HEADER + '#include "g723/tables/cosine_table.h"\n\nnamespace g723 {\n\n'
    text += "// cos(pi * i / 256) rounded to single precision.\n"
    text += "constexpr std::array<float, kCosineTableSize> cosine_table = {\n    " + ",\n    ".join(lines) + "};\n"
    text += "\n}  // namespace g723\n"
    with open(os.path.join(out_dir, "cosine_table.cpp"), "w") as f:
        f.write(text)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out_dir = os.path.dirname(os.path.abspath(__file__))
    write_lsp(out_dir, sys.argv[1])
    write_acb(out_dir, sys.argv[1])
    write_cosine(out_dir)


if __name__ == "__main__":
    main()
