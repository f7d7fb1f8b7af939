// SPDX-License-Identifier: BSD-2-Clause
/*
 * The baresip module "g723": registers G.723.1 (G723/8000, static payload
 * type 4) as an audio codec. Two keys of baresip's config file set it up
 * when the module loads:
 *   g723_ptime   30, 60 or 90: packet time in ms, one to three frames a
 *                packet (30 if absent)
 *   g723_annexa  yes or no: whether this side offers and accepts silence
 *                compression, sent as the SDP parameter annexa (yes if
 *                absent)
 * Nothing changes after that: every call has its own encoder and decoder.
 */
#include <errno.h>

#include "baresip_codec_interface.h"
#include "payload_codec.h"

static struct aucodec g723_codec = {
    .pt = "4",
    .name = "G723",
    .srate = 8000,
    .crate = 8000,
    .ch = 1,
    .pch = 1,
    .ptime = 30,
    .fmtp = "annexa=yes",
    .encupdh = g723_call_encoder_update,
    .ench = g723_call_encode,
    .decupdh = g723_call_decoder_update,
    .dech = g723_call_decode,
    .plch = g723_call_conceal,
};

static int module_init(void)
{
    struct conf* conf = conf_cur();
    uint32_t ptime = 30;
    bool annexa = true;
    if (conf != NULL) {
        (void)conf_get_u32(conf, "g723_ptime", &ptime);
        (void)conf_get_bool(conf, "g723_annexa", &annexa);
    }
    if (ptime != 30 && ptime != 60 && ptime != 90) {
        warning("g723: g723_ptime %u is not 30, 60 or 90\n", ptime);
        return EINVAL;
    }
    g723_codec.ptime = ptime;
    g723_codec.fmtp = annexa ? "annexa=yes" : "annexa=no";
    aucodec_register(baresip_aucodecl(), &g723_codec);
    return 0;
}

static int module_close(void)
{
    aucodec_unregister(&g723_codec);
    return 0;
}

/* baresip finds the module by this symbol, the only one it exports. */
__attribute__((visibility("default"))) const struct mod_export exports = {
    "g723",
    "codec",
    module_init,
    module_close,
};
