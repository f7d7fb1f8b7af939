#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""SRTP calls between two baresip processes through the module, captured
with tcpdump on a private loopback, read back by `g723 pcap`.

The same call is made twice, in the clear and with SRTP (`mediaenc=srtp-mand`:
RTP/SAVP, SDES keys in the SDP's a=crypto lines, baresip's own SRTP), with
silence compression off so that every frame is sent. Then:
  - `g723 pcap` of the SRTP call finds both directions as encrypted, with
    AES_CM_128_HMAC_SHA1_80 keys from the SDP, none failing authentication,
    and writes for each direction what the peer baresip decoded from the same
    packets (decrypted by libre, not libsrtp), as it does for the clear call;
    both calls' directions decode to the same audio;
  - without the a=crypto lines (renamed in a copy of the capture) it lists
    two encrypted streams with no key and writes nothing.
With --keep CAPTURE the SRTP call's capture is copied there (the sample
under samples/ is made so). Exit status 77: the case cannot run here.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import baresip_call_test as call  # noqa: E402  (the helpers of the plain calls)

check, Failure = call.check, call.Failure


def srtp_modules(work, own_module):
    folder = call.private_modules(work, own_module)
    os.symlink(os.path.join(call.system_modules(), "srtp.so"), os.path.join(folder, "srtp.so"))
    return folder


def make_call(args, work, modules, processes, srtp):
    """One call, caller to answer; returns the capture and both folders."""
    os.makedirs(work)
    caller_input = os.path.join(work, "caller.wav")
    answer_input = os.path.join(work, "answer.wav")
    call.cut(args.sample, caller_input, 0.0, 4.5)
    call.cut(args.sample, answer_input, 2.0, 6.5)
    common = ["g723_ptime 30", "g723_annexa no", "jitter_buffer_delay 0-0"]
    folders = []
    for name, sip, rtp, source in (("caller", call.CALLER_SIP, call.CALLER_RTP, caller_input),
                                   ("answer", call.ANSWER_SIP, call.ANSWER_RTP, answer_input)):
        folder = call.baresip_folder(work, name, modules, sip, rtp, source, common)
        if srtp:
            # The media encryption loads before the accounts that name it.
            path = os.path.join(folder, "config")
            with open(path) as f:
                config = f.read()
            with open(path, "w") as f:
                f.write(config.replace("module account.so\n", "module srtp.so\nmodule account.so\n"))
        with open(os.path.join(folder, "accounts"), "w") as f:
            f.write(f"<sip:{name}@127.0.0.1>;regint=0;audio_codecs=G723/8000/1;ptime=30;answermode=auto"
                    + (";mediaenc=srtp-mand" if srtp else "") + "\n")
        folders.append(folder)
    capture = os.path.join(work, "call.pcap")
    dump = call.start_capture(processes, work, capture)
    answer_log, caller_log = os.path.join(work, "answer.log"), os.path.join(work, "caller.log")
    answering = processes.start("answer", ["baresip", "-f", folders[1], "-t", "30"], answer_log)
    check(call.wait_for(answer_log, "baresip is ready", 10), "the answering baresip did not start")
    calling = processes.start("caller", ["baresip", "-f", folders[0], "-t", "30", "-e",
                                         f"/dial sip:answer@127.0.0.1:{call.ANSWER_SIP}"], caller_log)
    finished = call.wait_for(caller_log, "terminated", 25) and call.wait_for(answer_log, "terminated", 5)
    for process in (calling, answering):
        processes.stop(process)
    call.stop_capture(processes, dump, capture)
    check(finished, "the call did not end in time:\n" + call.tail(caller_log) + call.tail(answer_log))
    return capture, folders[0], folders[1]


def pcap(tool, capture, out):
    report = json.loads(tool.run("pcap", "--json", capture, out))
    return report, report["streams"]


def direction(stream, answer_port):
    """"to answer" or "to caller", from the stream's destination port."""
    port = int(stream["name"].split(" > ")[1].split(" ")[0].rsplit(":", 1)[1])
    return "to answer" if port == answer_port else "to caller"


def decoded_by_pcap(tool, capture, out, caller, answer, srtp):
    """Each direction's audio as g723 pcap writes it, checked against what
    the peer baresip decoded."""
    report, streams = pcap(tool, capture, out)
    check(len(streams) == 2, f"pcap: {len(streams)} streams, not 2:\n{json.dumps(report, indent=1)}")
    bodies = call.sip_bodies(call.read_capture(capture))
    answer_port = call.sdp_port(bodies[-1][1])
    audio = {}
    for stream in streams:
        if srtp:
            check(stream["encrypted"] and stream["srtp_suite"] == "AES_CM_128_HMAC_SHA1_80"
                  and stream["key_source"] == "SDP",
                  f"pcap: {stream['name']} is not SRTP with a key from the SDP: {stream}")
        else:
            check(not stream["encrypted"], f"pcap: {stream['name']} taken as encrypted")
        check(stream["authentication_failures"] == 0 and stream["replayed"] == 0,
              f"pcap: {stream['name']}: packets refused: {stream}")
        check(stream["lost_packets"] == 0 and stream["malformed"] == 0,
              f"pcap: {stream['name']}: lost or malformed packets: {stream}")
        way = direction(stream, answer_port)
        got = call.read_wav(stream["output"])
        peer = answer if way == "to answer" else caller
        call.same_audio(f"{'SRTP' if srtp else 'clear'} call, pcap {way} against baresip's decoding",
                        got[:len(call.recorded(peer, "dec"))], call.recorded(peer, "dec"), 0)
        audio[way] = got
    return report, audio, bodies


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", required=True, help="the g723 tool")
    parser.add_argument("--module", required=True, help="the built g723.so")
    parser.add_argument("--sample", required=True, help="an 8 kHz mono speech WAV")
    parser.add_argument("--work", required=True, help="a folder for the case's files")
    parser.add_argument("--keep", help="copy the SRTP call's capture here")
    args = parser.parse_args()

    if os.environ.get("G723_PRIVATE_NETWORK") != "1":
        if shutil.which("baresip") is None or shutil.which("tcpdump") is None:
            print("baresip or tcpdump is not installed")
            return call.SKIP
        if not os.path.exists(os.path.join(call.system_modules(), "srtp.so")):
            print("baresip's srtp module is not installed")
            return call.SKIP
        if subprocess.run(["unshare", "--net", "true"], capture_output=True).returncode != 0:
            print("no private network namespace here (unshare --net)")
            return call.SKIP
        environment = dict(os.environ, G723_PRIVATE_NETWORK="1")
        return subprocess.run(["unshare", "--net", sys.executable, os.path.abspath(__file__),
                               *sys.argv[1:]], env=environment).returncode

    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    tool = call.Tool(os.path.abspath(args.tool), args.work)
    processes = call.Processes()
    try:
        modules = srtp_modules(args.work, args.module)
        clear = make_call(args, os.path.join(args.work, "clear"), modules, processes, False)
        secure = make_call(args, os.path.join(args.work, "srtp"), modules, processes, True)
        _, clear_audio, _ = decoded_by_pcap(tool, clear[0], os.path.join(args.work, "clear-out"),
                                            clear[1], clear[2], False)
        report, srtp_audio, bodies = decoded_by_pcap(tool, secure[0], os.path.join(args.work, "srtp-out"),
                                                     secure[1], secure[2], True)
        for name, (first, body) in (("offer", bodies[0]), ("answer", bodies[-1])):
            media = [line for line in body.splitlines() if line.startswith("m=audio ")][0]
            check(" RTP/SAVP " in media, f"{name}: not RTP/SAVP: {media}")
            check("a=crypto:" in body, f"{name}: no a=crypto line")
        for way in ("to answer", "to caller"):
            shorter = min(len(clear_audio[way]), len(srtp_audio[way]))
            call.same_audio(f"{way}: SRTP call against the clear call", srtp_audio[way][:shorter],
                            clear_audio[way][:shorter], 0)
        print(tool.run("pcap", secure[0]), end="")

        # The same capture with its keys taken out of the SDP.
        with open(secure[0], "rb") as f:
            data = f.read()
        check(data.count(b"a=crypto:") >= 2, "the capture has fewer than two a=crypto lines")
        keyless = os.path.join(args.work, "keyless.pcap")
        with open(keyless, "wb") as f:
            f.write(data.replace(b"a=crypto:", b"a=cryptX:"))
        out = os.path.join(args.work, "keyless-out")
        report, streams = pcap(tool, keyless, out)
        check(len(streams) == 2 and all(s["encrypted"] and s["key_source"] is None and s["output"] is None
                                        and s["packets"] == 0 for s in streams),
              f"pcap without keys: {json.dumps(report, indent=1)}")
        check(not os.listdir(out), f"pcap without keys wrote {os.listdir(out)}")
        print(tool.run("pcap", keyless), end="")
        if args.keep:
            shutil.copyfile(secure[0], args.keep)
    except Failure as failure:
        print("FAIL:", failure)
        return 1
    finally:
        processes.stop_all()
    print("srtp: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
