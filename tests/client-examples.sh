#!/usr/bin/env bash
# Compiles the C# examples with Mono's mcs against their real declarations: late binding (dynamic) and early
# binding (the interfaces declared with our IIDs, checked against the type libraries' members by the COM tests).
# They cannot run here: Wine's .NET runtime is not part of the test prefix.
# Usage: client-examples.sh <examples folder> <output folder>
set -euo pipefail
examples=$(realpath "$1") out=$2
mkdir -p "$out"
mcs -warnaserror -target:exe -out:"$out/ReadCertificateEarly.exe" \
    "$examples/csharp/ReadCertificateEarly.cs" "$examples/csharp/VarnokSrvInterop.cs"
mcs -warnaserror -target:exe -r:Microsoft.CSharp -out:"$out/ReadCertificateLate.exe" "$examples/csharp/ReadCertificateLate.cs"
# The declared interface must list every member of the IDL in its order, with its DISPID.
idl_ids=$(grep -o 'id(0x[0-9A-F]*)' "$examples/../server/VarnokSrv.idl" | grep -o '0x[0-9A-F]*')
cs_ids=$(sed -n '/interface IFileReader/,/^    }/p' "$examples/csharp/VarnokSrvInterop.cs" | grep -o 'DispId(0x[0-9A-F]*)' |
         grep -o '0x[0-9A-F]*')
[ "$idl_ids" = "$cs_ids" ] || { echo "VarnokSrvInterop.cs: members differ from VarnokSrv.idl"; exit 1; }
echo "C# examples compiled: $(ls "$out" | tr '\n' ' ')"
