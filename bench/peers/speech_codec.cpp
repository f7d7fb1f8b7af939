// SPDX-License-Identifier: BSD-2-Clause
#include "speech_codec.h"

namespace g723::bench {

std::vector<std::unique_ptr<speech_codec>> all_codecs() {
    std::vector<std::unique_ptr<speech_codec>> codecs;
    codecs.push_back(make_g723_codec(false));
    codecs.push_back(make_g723_codec(true));
    codecs.push_back(make_opus_codec(6000));
    codecs.push_back(make_opus_codec(8000));
    codecs.push_back(make_speex_codec(8000));
    codecs.push_back(make_amr_nb_codec(6700));
    codecs.push_back(make_amr_nb_codec(7400));
    codecs.push_back(make_gsm_codec());
    codecs.push_back(make_codec2_codec());
    return codecs;
}

}  // namespace g723::bench
