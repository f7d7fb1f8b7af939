// SPDX-License-Identifier: BSD-2-Clause
#include "media/codec/payload_frames.h"

#include <string.h>

#include "media/codec/frame_bytes.h"

int g723_payload_frame_at(const uint8_t* payload, size_t length, size_t offset,
                          g723_payload_frame* frame)
{
    if (payload == NULL || offset >= length)
        return 0;
    frame->offset = offset;
    frame->needed = g723_media_frame_bytes(payload[offset]);
    frame->present = length - offset < frame->needed ? length - offset : frame->needed;
    return 1;
}

size_t g723_payload_frame_count(const uint8_t* payload, size_t length)
{
    g723_payload_frame frame;
    size_t count = 0;
    for (size_t offset = 0; g723_payload_frame_at(payload, length, offset, &frame);
         offset += frame.present)
        count++;
    return count;
}

size_t g723_payload_decode(g723_decoder* decoder, const uint8_t* payload, size_t length,
                           int16_t* samples, size_t max_frames, size_t* damaged)
{
    g723_payload_frame frame;
    size_t decoded = 0, concealed = 0;
    for (size_t offset = 0;
         decoded < max_frames && g723_payload_frame_at(payload, length, offset, &frame);
         offset += frame.present, decoded++) {
        /* The library reads a whole slot: the frame's bytes, zero after them. */
        uint8_t slot[G723_SLOT_BYTES] = {0};
        int16_t* out = samples + decoded * G723_FRAME_SAMPLES;
        int32_t count = 0;
        memcpy(slot, payload + offset, frame.present);
        /* A frame cut short is what is left of a lost one. */
        const int32_t lost = frame.present < frame.needed;
        if (g723_decode_frame(decoder, slot, out, lost, &count) != g723_ok || lost)
            concealed++;
        /* The decoder always answers 240 samples; should it ever not, the
         * frame's time is still kept, as silence. */
        if (count != G723_FRAME_SAMPLES)
            memset(out, 0, G723_FRAME_SAMPLES * sizeof *out);
    }
    if (damaged != NULL)
        *damaged = concealed;
    return decoded;
}
