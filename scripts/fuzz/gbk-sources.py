#!/usr/bin/env python3
"""Mirrors the source tree for the clang build with narrow literals as GBK.

The normal build compiles UTF-8 sources with GCC's -fexec-charset=GB18030,
so "工资" becomes the system's code-page-936 bytes.  Clang has no such
option: its narrow literals stay UTF-8.  This step copies the tree into
<dest> and rewrites every ordinary narrow string or character literal that
holds non-ASCII text: each such character becomes the octal escapes of its
GB18030 bytes ("\\271\\244\\327\\312").  Octal escapes, not the raw bytes,
because a GBK trail byte may be 0x5C ('\\'), which inside a literal would
start an escape and swallow the next character; and octal escapes end after
three digits, unlike hex ones, so a following digit stays itself.  Raw
strings cannot hold escapes: their text is written as GB18030 bytes as they
are (no escapes exist there, so 0x5C is harmless) and the build passes
-Wno-invalid-source-encoding.  Prefixed literals (L, u, U, u8) and comments
are left as they are.  Files whose bytes did not change are not rewritten,
so a rebuild compiles only what changed.

  gbk-sources.py <source-root> <dest>
"""
import os
import shutil
import sys

SOURCE_EXT = {'.cpp', '.h', '.hpp', '.cc', '.inc'}
SKIP_DIRS = {'.git'}


RawBytes = bytes  # a raw string's body, already GB18030


def escape_narrow(text):
    out = []
    for ch in text:
        if ord(ch) < 0x80:
            out.append(ch)
        else:
            out.extend('\\%03o' % b for b in ch.encode('gb18030'))
    return ''.join(out)


def convert(src):
    out = []
    i, n = 0, len(src)
    while i < n:
        c = src[i]
        if src.startswith('//', i):
            j = src.find('\n', i)
            j = n if j < 0 else j
            out.append(src[i:j]); i = j
        elif src.startswith('/*', i):
            j = src.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append(src[i:j]); i = j
        elif c == '"' or c == "'":
            # Prefix: the identifier characters just before the quote.
            k = i
            while k > 0 and (src[k - 1].isalnum() or src[k - 1] == '_'):
                k -= 1
            prefix = src[k:i]
            if c == "'" and prefix and prefix[0].isdigit():
                out.append(c); i += 1  # digit separator 1'000
                continue
            if c == '"' and prefix.endswith('R'):
                d_end = src.find('(', i)
                delim = src[i + 1:d_end]
                close = ')' + delim + '"'
                j = src.find(close, d_end) + len(close)
                body = src[i:j]
                out.append(body if prefix != 'R' else RawBytes(body.encode('gb18030')))
                i = j
                continue
            j = i + 1
            while j < n and src[j] != c:
                if src[j] == '\\':
                    j += 1
                elif src[j] == '\n':
                    break
                j += 1
            body = src[i:j + 1]
            out.append(body if prefix in ('L', 'u', 'U', 'u8') else escape_narrow(body))
            i = j + 1
        else:
            out.append(c); i += 1
    return b''.join(x if isinstance(x, bytes) else x.encode('utf-8') for x in out)


def write_if_changed(path, data):
    try:
        with open(path, 'rb') as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        pass
    with open(path, 'wb') as f:
        f.write(data)


def main():
    root, dest = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames
                       if d not in SKIP_DIRS and not d.startswith('build')
                       and os.path.join(dirpath, d) != dest]
        rel = os.path.relpath(dirpath, root)
        os.makedirs(os.path.join(dest, rel), exist_ok=True)
        for name in filenames:
            s, d = os.path.join(dirpath, name), os.path.join(dest, rel, name)
            with open(s, 'rb') as f:
                data = f.read()
            if os.path.splitext(name)[1] in SOURCE_EXT:
                data = convert(data.decode('utf-8'))
            write_if_changed(d, data)
            shutil.copymode(s, d)
    # The build checks for this mark before it lets a compiler other than
    # GCC build the tree.
    write_if_changed(os.path.join(dest, '.gbk-literals'), b'')


if __name__ == '__main__':
    main()
