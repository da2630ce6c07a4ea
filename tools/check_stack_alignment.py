#!/usr/bin/env python3
"""Fails when a 32-bit Windows binary has an SSE instruction that needs a 16-byte-aligned memory operand on the
stack in a function that did not align its stack itself.

Windows starts 32-bit threads and calls callbacks with a stack aligned to 4 bytes only; such an instruction
faults there ("page fault on read access to FFFFFFFF"), although it runs wherever the stack happens to be
aligned. The check reads the disassembly, so it guards the shipped file on machines that cannot run it.

A function is the code between two symbols of the disassembly; it counts as realigning its stack when it
contains "and $0x...fff0,%esp" (or a stricter mask). Stack operands are those based on %esp or %ebp.

usage: check_stack_alignment.py --objdump OBJDUMP BINARY [...]
exit 0 all clear, 1 a faulting instruction was found, 2 the check could not run
"""
import argparse
import re
import subprocess
import sys

# Legacy-encoded SSE instructions with an m128 operand that need no alignment. Every other legacy SSE
# instruction on an xmm register with a memory operand does (or reads fewer than 16 bytes, listed here too).
UNALIGNED_OK = {
    "movups", "movupd", "movdqu", "lddqu", "movlps", "movhps", "movlpd", "movhpd", "movq", "movd",
    "movss", "movsd", "movddup", "movshdup", "movsldup", "maskmovdqu", "pinsrb", "pinsrw", "pinsrd",
    "pextrb", "pextrw", "pextrd", "extractps", "insertps", "cvtps2pd", "cvtdq2pd", "cvtpi2ps",
    "cvtpi2pd", "pmovzxbw", "pmovzxbd", "pmovzxbq", "pmovzxwd", "pmovzxwq", "pmovzxdq", "pmovsxbw",
    "pmovsxbd", "pmovsxbq", "pmovsxwd", "pmovsxwq", "pmovsxdq", "comiss", "comisd", "ucomiss", "ucomisd",
    "cvtss2sd", "cvtsd2ss", "cvtsi2ss", "cvtsi2sd", "cvtsi2ssl", "cvtsi2sdl", "cvtss2si", "cvtsd2si", "cvttss2si", "cvttsd2si",
    "ldmxcsr", "stmxcsr", "fxsave", "fxrstor", "movmskps", "movmskpd", "pmovmskb", "movnti",
}
# VEX-encoded instructions need alignment only for these.
VEX_ALIGNED = {"vmovaps", "vmovapd", "vmovdqa", "vmovntps", "vmovntpd", "vmovntdq", "vmovntdqa"}
SCALAR_SUFFIX = re.compile(r".*(ss|sd)$")  # addss, mulsd, ...: scalar forms read 4 or 8 bytes
SCALAR_EXCEPT = {"movmskps", "movmskpd"}

SYMBOL = re.compile(r"^[0-9a-fA-F]+ <(.+)>:$")
INSN = re.compile(r"^\s*([0-9a-fA-F]+):\s+(\S+)\s*(.*)$")
REALIGN = re.compile(r"^and\s+\$0xf{4,7}[0-9a-f]?0,%esp$")
STACK_OPERAND = re.compile(r"\((%esp|%ebp)[,)]")


def needs_alignment(mnemonic, operands):
    if "%xmm" not in operands or "(" not in operands:
        return False
    if mnemonic.startswith("v"):
        return mnemonic in VEX_ALIGNED
    if mnemonic in UNALIGNED_OK:
        return False
    if SCALAR_SUFFIX.match(mnemonic) and mnemonic not in SCALAR_EXCEPT and not mnemonic.startswith("p"):
        return False
    return True


class Stripped(Exception):
    pass


def faults(objdump, binary):
    # Without its symbol table a binary's functions cannot be told apart: judge the unstripped file.
    table = subprocess.run([objdump, "-t", binary], check=True, capture_output=True, text=True).stdout
    if not re.search(r"^\[\s*\d+\]\(sec\s+\d+\)", table, re.M):
        raise Stripped()
    out = subprocess.run([objdump, "-d", "-w", "--no-show-raw-insn", binary],
                         check=True, capture_output=True, text=True).stdout
    found = []
    function, realigned, suspects = "<start>", False, []

    def close():
        if not realigned:
            found.extend((function, addr, text) for addr, text in suspects)

    for line in out.splitlines():
        m = SYMBOL.match(line)
        if m:
            close()
            function, realigned, suspects = m.group(1), False, []
            continue
        m = INSN.match(line)
        if not m:
            continue
        addr, mnemonic, operands = m.group(1), m.group(2), m.group(3).split("#")[0].strip()
        text = f"{mnemonic} {operands}".strip()
        if REALIGN.match(f"{mnemonic} {operands}"):
            realigned = True
        elif STACK_OPERAND.search(operands) and needs_alignment(mnemonic, operands):
            suspects.append((addr, text))
    close()
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("binaries", nargs="+")
    args = parser.parse_args()
    status = 0
    for binary in args.binaries:
        try:
            bad = faults(args.objdump, binary)
        except (OSError, subprocess.CalledProcessError) as e:
            print(f"{binary}: cannot disassemble: {e}", file=sys.stderr)
            return 2
        except Stripped:
            print(f"{binary}: has no symbol table; check the file before it is stripped", file=sys.stderr)
            return 2
        for function, addr, text in bad:
            print(f"{binary}: {function} at {addr}: '{text}' needs a 16-byte-aligned stack the function "
                  f"does not make")
            status = 1
        if not bad:
            print(f"{binary}: no aligned SSE operand on an unaligned stack")
    return status


if __name__ == "__main__":
    sys.exit(main())
