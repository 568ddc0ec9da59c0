#!/usr/bin/env python3
"""Writes the WiX source of Veltrane's MSI, for Debian's wixl (msitools) to build:

  make_wxs.py OUT.wxs --version A.B.C.D --clsid {GUID} --command-clsid {GUID}
              --dir64 DIR --dir32 DIR [--package-dir DIR [--package-signed]]

DIR64 and DIR32 hold veltrane.dll, veltrane.chm, pencil.avi and veltrane.exe of each
bitness; PACKAGE_DIR veltrane.msix and Assets\\ (the Windows 11 package). The MSI installs
per machine (ALLUSERS=1) into Program Files\\Veltrane with the NSIS setup's layout, writes
the classic registration of both DLLs in both registry views (the rows DllRegisterServer
writes, which tests/installer/msi-test.sh compares), and on Windows 11 registers the package
for the installing user. (It does not put the command line on PATH: wixl has no Environment
table, and a Registry row could only replace the whole PATH. It is <folder>\x64\veltrane.exe.) Its upgrade
code never changes, so a newer MSI replaces an older one in place (major upgrade); it never
asks for a reboot.
"""
import argparse
import os
import re
import sys
from xml.sax.saxutils import escape

# Kept for good: every version's MSI names the same product family.
UPGRADE_CODE = "6B0C1B4A-55D1-4F3B-9A54-3C3C1E7A2B10"
FILES = ["veltrane.dll", "veltrane.chm", "pencil.avi", "veltrane.exe"]
LOGOS = ["StoreLogo.png", "Square150x150Logo.png", "Square44x44Logo.png"]
APPROVED = r"Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved"


def msi_version(version):
    """Windows Installer compares only the first three fields of a version: a release that
    differs in its build number alone (1.0.0.6, 1.0.0.7) would not replace the one before.
    The third field carries the last two: a.b.(c * 1000 + d)."""
    a, b, c, d = (int(x) for x in version.split("."))
    return f"{a}.{b}.{c * 1000 + d}"


def attr(value):
    return '"' + escape(str(value), {'"': "&quot;"}) + '"'


def registry(clsid, command, dll_ref, handlers):
    """The rows DllRegisterServer writes for a DLL at [#dll_ref], in its component's view."""
    rows = [
        ("HKCR", rf"CLSID\{clsid}", None, "Veltrane"),
        ("HKCR", rf"CLSID\{clsid}\InProcServer32", None, f"[#{dll_ref}]"),
        ("HKCR", rf"CLSID\{clsid}\InProcServer32", "ThreadingModel", "Apartment"),
        ("HKCR", rf"CLSID\{command}", None, "Veltrane"),
        ("HKCR", rf"CLSID\{command}\InProcServer32", None, f"[#{dll_ref}]"),
        ("HKCR", rf"CLSID\{command}\InProcServer32", "ThreadingModel", "Apartment"),
        ("HKLM", APPROVED, "{" + clsid.strip("{}") + "}", "Veltrane"),
    ]
    if handlers:
        rows += [("HKCR", r"*\shellex\ContextMenuHandlers\Veltrane", None, clsid),
                 ("HKCR", r"Directory\shellex\ContextMenuHandlers\Veltrane", None, clsid),
                 ("HKCR", r"Drive\shellex\ContextMenuHandlers\Veltrane", None, clsid),
                 ("HKCR", r"CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex"
                          r"\ContextMenuHandlers\Veltrane", None, clsid)]
    out = []
    for root, key, name, value in rows:
        name_attr = f" Name={attr(name)}" if name else ""
        out.append(f'<RegistryValue Root="{root}" Key={attr(key)}{name_attr} Value={attr(value)} '
                   f'Type="string"/>')
    return out


def component(ident, directory_files, win64, extra):
    lines = [f'<Component Id="{ident}" Guid="*"{" Win64=" + chr(34) + "yes" + chr(34) if win64 else ""}>']
    for i, (file_id, name, source) in enumerate(directory_files):
        key = ' KeyPath="yes"' if i == 0 else ""
        lines.append(f'  <File Id="{file_id}" Name={attr(name)} Source={attr(source)}{key}/>')
    lines += ["  " + line for line in extra]
    lines.append("</Component>")
    return lines


def wxs(version, clsid, command, dir64, dir32, package_dir, package_signed=False):
    clsid = "{" + clsid.strip("{}").upper() + "}"
    command = "{" + command.strip("{}").upper() + "}"
    x64 = [(f"{n.replace('.', '_')}64", n, os.path.join(dir64, n)) for n in FILES]
    x86 = [(f"{n.replace('.', '_')}32", n, os.path.join(dir32, n)) for n in FILES]
    body = ['<Directory Id="X64" Name="x64">']
    body += ["  " + l for l in component("Files64", x64, True,
                                          registry(clsid, command, "veltrane_dll64", True))]
    body += ["</Directory>", '<Directory Id="X86" Name="x86">']
    body += ["  " + l for l in component("Files32", x86, False,
                                          registry(clsid, command, "veltrane_dll32", False))]
    body.append("</Directory>")
    refs = ["Files64", "Files32"]
    actions = []
    if package_dir:
        body += component("Package", [("veltrane_msix", "veltrane.msix",
                                       os.path.join(package_dir, "veltrane.msix"))], True, [])
        body.append('<Directory Id="ASSETS" Name="Assets">')
        assets = [(f"asset{i}", n, os.path.join(package_dir, "Assets", n))
                  for i, n in enumerate(LOGOS)]
        body += ["  " + l for l in component("Assets", assets, True, [])]
        body.append("</Directory>")
        refs += ["Package", "Assets"]
        # Windows 11 only: the package for the installing user, with the install folder as
        # its external location. A failure leaves the classic menu, as the NSIS setup does.
        register = ("-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command "
                    "\"Add-AppxPackage -Path '[INSTALLDIR]veltrane.msix' -ExternalLocation "
                    "'[INSTALLDIR]'" + ("" if package_signed else " -AllowUnsigned") + "\"")
        remove = ("-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command "
                  "\"Get-AppxPackage -AllUsers -Name Veltrane | Remove-AppxPackage -AllUsers\"")
        actions = [
            # The path is formatted at install time: Property rows are taken as they are.
            '<CustomAction Id="FindPowerShell" Property="POWERSHELL" '
            'Value="[System64Folder]WindowsPowerShell\\v1.0\\powershell.exe"/>',
            f'<CustomAction Id="RegisterPackage" Property="POWERSHELL" ExeCommand={attr(register)} '
            'Execute="deferred" Impersonate="yes" Return="ignore"/>',
            f'<CustomAction Id="RemovePackage" Property="POWERSHELL" ExeCommand={attr(remove)} '
            'Execute="deferred" Impersonate="no" Return="ignore"/>',
            "<InstallExecuteSequence>",
            '  <Custom Action="FindPowerShell" After="CostFinalize">VersionNT64</Custom>',
            '  <Custom Action="RemovePackage" Before="RemoveFiles">REMOVE="ALL" AND VersionNT64 '
            "AND WindowsBuild &gt;= 22000</Custom>",
            '  <Custom Action="RegisterPackage" Before="InstallFinalize">NOT REMOVE AND VersionNT64 '
            "AND WindowsBuild &gt;= 22000</Custom>",
            "</InstallExecuteSequence>",
        ]
    features = "".join(f'<ComponentRef Id="{r}"/>' for r in refs)
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
        f'<Product Id="*" Name="Veltrane" Language="1033" Version="{msi_version(version)}" '
        f'Manufacturer="Veltrane project" UpgradeCode="{UPGRADE_CODE}">',
        f'<Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" '
        f'Description="Veltrane {version}" Manufacturer="Veltrane project"/>',
        '<Property Id="REBOOT" Value="ReallySuppress"/>',
        '<Property Id="ARPNOMODIFY" Value="1"/>',
        '<MajorUpgrade DowngradeErrorMessage="A newer version of Veltrane is already installed."/>',
        '<Media Id="1" Cabinet="veltrane.cab" EmbedCab="yes"/>',
        '<Directory Id="TARGETDIR" Name="SourceDir">',
        '<Directory Id="ProgramFiles64Folder">',
        '<Directory Id="INSTALLDIR" Name="Veltrane">',
        *body,
        "</Directory></Directory></Directory>",
        *actions,
        f'<Feature Id="Veltrane" Level="1">{features}</Feature>',
        "</Product>",
        "</Wix>",
    ]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--version", required=True)
    parser.add_argument("--clsid", required=True)
    parser.add_argument("--command-clsid", required=True)
    parser.add_argument("--dir64", required=True)
    parser.add_argument("--dir32", required=True)
    parser.add_argument("--package-dir", default="")
    parser.add_argument("--package-signed", action="store_true")
    args = parser.parse_args()
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
        sys.exit(f"version {args.version!r} is not A.B.C.D")
    for folder in (args.dir64, args.dir32):
        for name in FILES:
            if not os.path.isfile(os.path.join(folder, name)):
                sys.exit(f"{folder} has no {name}")
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(wxs(args.version, args.clsid, args.command_clsid, args.dir64, args.dir32,
                    args.package_dir, args.package_signed))


if __name__ == "__main__":
    main()
