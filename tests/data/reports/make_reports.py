#!/usr/bin/python3
"""Writes the report fixtures of tests/data/reports (run with Debian's python3-pydicom 2.3.1 and DCMTK 3.6.7):
invented patients, no real data. `./make_reports.py` from this folder rewrites every file."""
import subprocess
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian

ROOT = "1.2.826.0.1.3680043.10.1010.28"
COMPREHENSIVE = "1.2.840.10008.5.1.4.1.1.88.33"
KOS = "1.2.840.10008.5.1.4.1.1.88.59"
CT_IMAGE = "1.2.840.10008.5.1.4.1.1.2"


def minimal_pdf(pages, title):
    """A PDF of `pages` A4 pages, each with a heading and a line of Helvetica text (PDF 1.4, one xref table)."""
    objects = []
    kids = " ".join(f"{4 + 2 * i} 0 R" for i in range(pages))
    objects.append(b"<< /Type /Catalog /Pages 2 0 R >>")
    objects.append(f"<< /Type /Pages /Kids [{kids}] /Count {pages} >>".encode())
    objects.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    for i in range(pages):
        text = (f"BT /F1 24 Tf 72 760 Td ({title}) Tj ET\n"
                f"BT /F1 14 Tf 72 720 Td (Page {i + 1} of {pages}: findings as dictated.) Tj ET\n"
                f"0 0 1 RG 4 w 72 {600 - 20 * (i % 10)} m 520 {600 - 20 * (i % 10)} l S\n").encode()
        objects.append(f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                       f"/Resources << /Font << /F1 3 0 R >> >> /Contents {5 + 2 * i} 0 R >>".encode())
        objects.append(b"<< /Length %d >>\nstream\n" % len(text) + text + b"endstream")
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def code(value, scheme, meaning):
    item = Dataset()
    item.CodeValue = value
    item.CodingSchemeDesignator = scheme
    item.CodeMeaning = meaning
    return Sequence([item])


def content(relationship, value_type, concept=None, **values):
    item = Dataset()
    item.RelationshipType = relationship
    item.ValueType = value_type
    if concept:
        item.ConceptNameCodeSequence = code(*concept)
    for keyword, value in values.items():
        setattr(item, keyword, value)
    return item


def image_reference(instance, frames=None):
    ref = Dataset()
    ref.ReferencedSOPClassUID = CT_IMAGE
    ref.ReferencedSOPInstanceUID = instance
    if frames:
        ref.ReferencedFrameNumber = frames
    return Sequence([ref])


def base(sop_class, instance, modality):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.MediaStorageSOPClassUID = sop_class
    ds.file_meta.MediaStorageSOPInstanceUID = instance
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.SpecificCharacterSet = "ISO_IR 100"
    ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = instance
    ds.Modality = modality
    ds.PatientName = "Lindqvist^Maja"
    ds.PatientID = "DEMO-28"
    ds.StudyInstanceUID = ROOT + ".1"
    ds.SeriesInstanceUID = instance + ".0"
    ds.StudyDate = "20260301"
    ds.ContentDate = "20260302"
    ds.ContentTime = "093000"
    return ds


def comprehensive(instance, verified):
    ds = base(COMPREHENSIVE, instance, "SR")
    ds.ValueType = "CONTAINER"
    ds.ContinuityOfContent = "SEPARATE"
    ds.ConceptNameCodeSequence = code("126000", "DCM", "Imaging Measurement Report")
    ds.CompletionFlag = "COMPLETE" if verified else "PARTIAL"
    ds.VerificationFlag = "VERIFIED" if verified else "UNVERIFIED"
    if verified:
        observer = Dataset()
        observer.VerifyingObserverName = "Okafor^Chidi^^Dr"
        observer.VerifyingOrganization = "Demo Hospital"
        observer.VerificationDateTime = "20260302101500"
        observer.VerifyingObserverIdentificationCodeSequence = Sequence([])
        ds.VerifyingObserverSequence = Sequence([observer])
    nodule = content("CONTAINS", "NUM", ("410668003", "SCT", "Length"))
    measured = Dataset()
    measured.NumericValue = "12.5"
    measured.MeasurementUnitsCodeSequence = code("mm", "UCUM", "millimeter")
    nodule.MeasuredValueSequence = Sequence([measured])
    nodule.ContentSequence = Sequence([content("INFERRED FROM", "IMAGE",
                                               ReferencedSOPSequence=image_reference(ROOT + ".2.7", "1"))])
    findings = content("CONTAINS", "CONTAINER", ("121070", "DCM", "Findings"), ContinuityOfContent="SEPARATE")
    findings.ContentSequence = Sequence([
        content("CONTAINS", "TEXT", ("121071", "DCM", "Finding"),
                TextValue="Solid nodule in the right upper lobe, smaller than before."),
        nodule,
        content("HAS PROPERTIES", "CODE", ("363698007", "SCT", "Finding Site"),
                ConceptCodeSequence=code("45653009", "SCT", "Upper lobe of right lung")),
        content("CONTAINS", "DATE", ("111060", "DCM", "Study Date"), Date="20260301"),
        content("CONTAINS", "TIME", ("111061", "DCM", "Study Time"), Time="101500"),
        content("CONTAINS", "DATETIME", ("111526", "DCM", "DateTime Started"), DateTime="20260301101500"),
        content("CONTAINS", "UIDREF", ("112002", "DCM", "Series Instance UID"), UID=ROOT + ".2"),
    ])
    conclusion = content("CONTAINS", "TEXT", ("121077", "DCM", "Conclusion"), TextValue="Stable nodule.")
    by_reference = Dataset()
    by_reference.RelationshipType = "INFERRED FROM"
    by_reference.ReferencedContentItemIdentifier = [1, 3, 2]
    conclusion.ContentSequence = Sequence([by_reference])
    conclusions = content("CONTAINS", "CONTAINER", ("121076", "DCM", "Conclusions"), ContinuityOfContent="SEPARATE")
    conclusions.ContentSequence = Sequence([conclusion])
    ds.ContentSequence = Sequence([
        content("HAS CONCEPT MOD", "CODE", ("121049", "DCM", "Language of Content Item and Descendants"),
                ConceptCodeSequence=code("en", "RFC5646", "English")),
        content("HAS OBS CONTEXT", "PNAME", ("121008", "DCM", "Person Observer Name"), PersonName="Rivera^Ana^^Dr"),
        findings,
        conclusions,
    ])
    return ds


def key_objects(instance):
    ds = base(KOS, instance, "KO")
    ds.ValueType = "CONTAINER"
    ds.ContinuityOfContent = "SEPARATE"
    ds.ConceptNameCodeSequence = code("113000", "DCM", "Of Interest")
    template = Dataset()
    template.MappingResource = "DCMR"
    template.TemplateIdentifier = "2010"
    ds.ContentTemplateSequence = Sequence([template])
    ds.ContentSequence = Sequence([
        content("CONTAINS", "TEXT", ("113012", "DCM", "Key Object Description"), TextValue="Nodule, two slices."),
        content("CONTAINS", "IMAGE", ReferencedSOPSequence=image_reference(ROOT + ".2.7")),
        content("CONTAINS", "IMAGE", ReferencedSOPSequence=image_reference(ROOT + ".2.8")),
    ])
    return ds


def write(ds, name, implicit=False):
    if implicit:
        ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian
    ds.save_as(name, write_like_original=False)


def main():
    write(comprehensive(ROOT + ".10", verified=False), "sr-comprehensive-partial.dcm")
    write(comprehensive(ROOT + ".11", verified=True), "sr-comprehensive-verified-implicit.dcm", implicit=True)
    write(key_objects(ROOT + ".12"), "kos-of-interest.dcm")
    # DCMTK writes sequences and items of undefined length: the same report in that form.
    subprocess.run(["dcmconv", "-e", "+te", "sr-comprehensive-partial.dcm", "sr-comprehensive-undefined.dcm"],
                   check=True)
    with open("report-2-pages.pdf", "wb") as f:
        f.write(minimal_pdf(2, "Radiology report"))
    with open("report-20-pages.pdf", "wb") as f:
        f.write(minimal_pdf(20, "Long report"))
    pdf_args = ["--patient-name", "Lindqvist^Maja", "--patient-id", "DEMO-28", "--title", "CT chest report"]
    subprocess.run(["pdf2dcm", *pdf_args, "report-2-pages.pdf", "pdf-2-pages.dcm"], check=True)
    subprocess.run(["pdf2dcm", *pdf_args, "report-20-pages.pdf", "pdf-20-pages.dcm"], check=True)
    with open("cda.xml", "w", encoding="utf-8") as f:
        f.write(CDA)
    subprocess.run(["cda2dcm", "+ov", "--patient-name", "Lindqvist^Maja", "--title", "Discharge note", "cda.xml",
                    "cda.dcm"], check=True)
    # Refused documents: a PDF class whose MIME type says JPEG, and one whose bytes are no PDF.
    subprocess.run(["cp", "pdf-2-pages.dcm", "pdf-wrong-mime.dcm"], check=True)
    subprocess.run(["dcmodify", "-nb", "-m", "(0042,0012)=image/jpeg", "pdf-wrong-mime.dcm"], check=True)
    # The document's first bytes changed in place, so the value keeps its length and the file stays well formed.
    with open("pdf-2-pages.dcm", "rb") as f:
        data = f.read()
    with open("pdf-not-pdf.dcm", "wb") as f:
        f.write(data.replace(b"%PDF-1.4", b"GIF89a.4", 1))
    for dump in ["sr-comprehensive-partial", "kos-of-interest"]:
        with open(dump + ".dsrdump.txt", "w") as f:
            subprocess.run(["dsrdump", "-Ec", dump + ".dcm"], stdout=f, check=True)


CDA = """<?xml version="1.0" encoding="UTF-8"?>
<ClinicalDocument xmlns="urn:hl7-org:v3">
  <title>Discharge note</title>
  <recordTarget><patientRole><patient><name><given>Maja</given><family>Lindqvist</family></name></patient>
  </patientRole></recordTarget>
  <component><structuredBody>
    <component><section><title>Findings</title>
      <text><paragraph>Nodule of 12.5 mm &amp; stable.</paragraph><list><item>No effusion</item>
      <item>Heart size normal</item></list></text></section></component>
  </structuredBody></component>
</ClinicalDocument>
"""

if __name__ == "__main__":
    sys.exit(main())
