#!/usr/bin/env python3
"""Stubs that load a shared library on first use.

    lazy-library.py NAME PART OUT_DIR LIBRARY... [--vtable CLASS_MANGLED]...

For every function LIBRARY exports, writes a symbol of the same name (OUT_DIR/NAME.S) that jumps
through a slot; the slot first points at a resolver (OUT_DIR/NAME.c) that opens the first
LIBRARY by its soname, finds the function and stores it in the slot. A program linked with these
objects and -Wl,--as-needed no longer lists LIBRARY: it is loaded by the first call into it.
--vtable gives a class whose virtual destructor is the library's only virtual function, and
whose vtable the program's inline code refers to: it is rebuilt here around the stubs.
PART names the part in the French message printed when the library cannot be loaded.
"""
import re
import subprocess
import sys


def exported_functions(path):
    out = subprocess.run(["nm", "-D", "--defined-only", path], check=True, capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[1] == "T" and re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", fields[2]):
            names.append(fields[2])
    return names


def soname(path):
    out = subprocess.run(["objdump", "-p", path], check=True, capture_output=True, text=True).stdout
    match = re.search(r"SONAME\s+(\S+)", out)
    return match.group(1) if match else path


def main():
    args = sys.argv[1:]
    vtables = []
    while "--vtable" in args:
        i = args.index("--vtable")
        vtables.append(args[i + 1])
        del args[i:i + 2]
    name, part, out_dir, libraries = args[0], args[1], args[2], args[3:]
    functions = sorted({f for library in libraries for f in exported_functions(library)})
    prefix = "tavrin_lazy_" + name

    asm = ["// Written by cmake/lazy-library.py: " + ", ".join(soname(l) for l in libraries) + " on first use.",
           "\t.section .note.GNU-stack,\"\",@progbits", "\t.text"]
    for i, f in enumerate(functions):
        asm += [f"\t.globl {f}", f"\t.type {f}, @function", f"{f}:", "\tendbr64",
                f"\tjmp *{prefix}_slots+{8 * i}(%rip)", f"\t.size {f}, .-{f}"]
    for i, f in enumerate(functions):
        asm += [f"\t.globl {prefix}_first_{i}", f"\t.hidden {prefix}_first_{i}", f"{prefix}_first_{i}:", "\tendbr64",
                f"\tpushq ${i}", f"\tjmp {prefix}_common"]
    # Arguments in registers (and %al for variadic calls) are kept across the resolver.
    regs = ["%rdi", "%rsi", "%rdx", "%rcx", "%r8", "%r9", "%rax", "%r10"]
    asm += [f"{prefix}_common:"] + [f"\tpushq {r}" for r in regs] + ["\tsubq $128, %rsp"]
    asm += [f"\tmovdqu %xmm{k}, {16 * k}(%rsp)" for k in range(8)]
    asm += ["\tmovl 192(%rsp), %edi", f"\tcall {prefix}_resolve", "\tmovq %rax, %r11"]
    asm += [f"\tmovdqu {16 * k}(%rsp), %xmm{k}" for k in range(8)]
    asm += ["\taddq $128, %rsp"] + [f"\tpopq {r}" for r in reversed(regs)] + ["\taddq $8, %rsp", "\tjmp *%r11"]
    asm += ["\t.data", "\t.balign 8", f"\t.globl {prefix}_slots", f"\t.hidden {prefix}_slots", f"{prefix}_slots:"]
    asm += [f"\t.quad {prefix}_first_{i}" for i in range(len(functions))]
    for cls in vtables:
        # Itanium layout: offset to top, type info, then the complete and the deleting destructor.
        inner = cls[1:-1] if cls.startswith("N") and cls.endswith("E") else cls
        asm += ["\t.section .data.rel.ro", "\t.balign 8", f"\t.globl _ZTV{cls}", f"\t.type _ZTV{cls}, @object",
                f"_ZTV{cls}:", "\t.quad 0", f"\t.quad _ZTI{cls}",
                f"\t.quad _ZN{inner}D1Ev", f"\t.quad _ZN{inner}D0Ev", f"\t.size _ZTV{cls}, .-_ZTV{cls}",
                # The type information is exported too: the undefined-behaviour sanitizer's checks
                # of dynamic types refer to it by name.
                "\t.balign 8", f"\t.globl _ZTI{cls}", f"\t.type _ZTI{cls}, @object", f"_ZTI{cls}:",
                "\t.quad _ZTVN10__cxxabiv117__class_type_infoE+16", f"\t.quad _ZTS{cls}",
                f"\t.size _ZTI{cls}, .-_ZTI{cls}", "\t.section .rodata", f"\t.globl _ZTS{cls}",
                f"\t.type _ZTS{cls}, @object", f"_ZTS{cls}:", f"\t.asciz \"{cls}\"", f"\t.size _ZTS{cls}, .-_ZTS{cls}"]
    with open(f"{out_dir}/{name}.S", "w") as fh:
        fh.write("\n".join(asm) + "\n")

    names = ",\n".join(f'    "{f}"' for f in functions)
    c = f"""// Written by cmake/lazy-library.py: the resolver of the {name} stubs.
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

extern void* {prefix}_slots[];
static const char* const names[] = {{
{names}
}};
static void* handle;
static pthread_once_t once = PTHREAD_ONCE_INIT;

static void open_library(void) {{ handle = dlopen("{soname(libraries[0])}", RTLD_NOW | RTLD_GLOBAL); }}

__attribute__((visibility("hidden"))) void* {prefix}_resolve(unsigned index)
{{
    pthread_once(&once, open_library);
    void* function = handle ? dlsym(handle, names[index]) : NULL;
    if (!function) {{
        fprintf(stderr, "La partie « {part} » de Tavrin ne peut pas être chargée ({soname(libraries[0])}) ; réinstallez Tavrin.\\n");
        abort();
    }}
    __atomic_store_n(&{prefix}_slots[index], function, __ATOMIC_RELEASE);
    return function;
}}

// Loads the library now (from a background thread, so that its first use does not wait for it).
void {prefix}_preload(void) {{ pthread_once(&once, open_library); }}
"""
    with open(f"{out_dir}/{name}.c", "w") as fh:
        fh.write(c)


if __name__ == "__main__":
    main()
