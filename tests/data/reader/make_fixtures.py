#!/usr/bin/python3
"""Writes the reader fixtures of this folder with pydicom 2.3 (Debian python3-pydicom). Run from this folder.

Every value is made up; no file holds patient data."""
import io
import struct

import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.filewriter import write_dataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian


def base(syntax, **attributes):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.7'
    ds.file_meta.MediaStorageSOPInstanceUID = '1.2.826.0.1.3680043.2.1143.1'
    ds.file_meta.TransferSyntaxUID = syntax
    ds.SOPClassUID = '1.2.840.10008.5.1.4.1.1.7'
    ds.SOPInstanceUID = '1.2.826.0.1.3680043.2.1143.1'
    for keyword, value in attributes.items():
        setattr(ds, keyword, value)
    return ds


def add_pixels(ds):
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = 'MONOCHROME2'
    ds.Rows = 2
    ds.Columns = 2
    ds.BitsAllocated = 8
    ds.BitsStored = 8
    ds.HighBit = 7
    ds.PixelRepresentation = 0
    ds.PixelData = bytes([0, 64, 128, 255])


def save(ds, name):
    ds.save_as(name, write_like_original=False)


def implicit_items():
    """A private sequence's items as Implicit VR Little Endian writes them, undefined lengths throughout, with a
    nested sequence inside the first item."""
    inner = Dataset()
    inner.add_new(0x00091002, 'SH', 'deep')
    outer = Dataset()
    outer.add_new(0x00091001, 'LO', 'inner value')
    outer.add_new(0x00091003, 'SQ', Sequence([inner]))
    outer[0x00091003].is_undefined_length = True
    second = Dataset()
    second.add_new(0x00100010, 'PN', 'Nested^Name')
    out = b''
    for item in (outer, second):
        buffer = pydicom.filebase.DicomBytesIO()
        buffer.is_little_endian = True
        buffer.is_implicit_VR = True
        write_dataset(buffer, item)
        out += struct.pack('<HHI', 0xFFFE, 0xE000, 0xFFFFFFFF) + buffer.getvalue()
        out += struct.pack('<HHI', 0xFFFE, 0xE00D, 0)
    return out


def un_sequence(name, ended):
    """Explicit VR Little Endian with (0009,1011) as UN of undefined length whose value is the implicit items
    (PS3.5 6.2.2 note), then the patient module and pixel data."""
    ds = base(ExplicitVRLittleEndian)
    ds.add_new(0x00091010, 'LO', 'ORBLANE TEST')
    save(ds, name)
    with open(name, 'rb') as f:
        head = f.read()
    tail = base(ExplicitVRLittleEndian, PatientName='Orb^Test', PatientID='ORB-1', PatientSex='F')
    add_pixels(tail)
    del tail.SOPClassUID
    del tail.SOPInstanceUID
    buffer = pydicom.filebase.DicomBytesIO()
    buffer.is_little_endian = True
    buffer.is_implicit_VR = False
    write_dataset(buffer, tail)
    un = struct.pack('<HH2sHI', 0x0009, 0x1011, b'UN', 0, 0xFFFFFFFF) + implicit_items()
    if ended:
        un += struct.pack('<HHI', 0xFFFE, 0xE0DD, 0) + buffer.getvalue()
    with open(name, 'wb') as f:
        f.write(head + un)


def new_vrs():
    ds = base(ExplicitVRLittleEndian, PatientName='Orb^Vr', PatientID='ORB-2')
    ds.add_new(0x00080119, 'UC', 'code value of unlimited length')  # Long Code Value
    ds.add_new(0x00081190, 'UR', 'http://example.invalid/wado')  # Retrieve URL
    ds.add_new(0x00204000, 'UT', 'image comments')
    ds.add_new(0x00720073, 'OD', struct.pack('<d', 1.5))  # Selector OD Value
    ds.add_new(0x00720067, 'OF', struct.pack('<f', 2.5))  # Selector OF Value
    ds.add_new(0x00720075, 'OL', struct.pack('<I', 7))  # Selector OL Value
    ds.add_new(0x00720081, 'OV', struct.pack('<Q', 9))  # Selector OV Value
    ds.add_new(0x00720082, 'SV', -3)  # Selector SV Value
    ds.add_new(0x00720083, 'UV', 5)  # Selector UV Value
    add_pixels(ds)
    save(ds, 'new_vrs.dcm')


def nested_identity():
    """A nested patient's name and sex before and after the top-level ones."""
    ds = base(ExplicitVRLittleEndian)
    referenced = Dataset()
    referenced.PatientName = 'Before^Nested'
    referenced.PatientID = 'REF-1'
    ds.ReferencedPatientSequence = Sequence([referenced])
    ds['ReferencedPatientSequence'].is_undefined_length = True
    referenced.is_undefined_length_sequence_item = True
    other = Dataset()
    other.PatientName = 'Other^Nested'
    other.PatientID = 'OTHER-1'
    ds.OtherPatientIDsSequence = Sequence([other])
    ds['OtherPatientIDsSequence'].is_undefined_length = True
    other.is_undefined_length_sequence_item = True
    ds.InstitutionName = 'Top Institution'
    ds.PatientName = 'Top^Level'
    ds.PatientID = 'ORB-3'
    ds.PatientBirthDate = '19700101'
    ds.PatientSex = 'F'
    ds.StudyDate = '20240131'
    ds.StudyTime = '083000'
    original = Dataset()
    original.PatientName = 'After^Nested'
    original.PatientSex = 'M'
    original.StudyDate = '19990101'
    original.InstitutionName = 'Nested Institution'
    modified = Dataset()
    modified.AttributeModificationDateTime = '20240201120000'
    modified.ModifyingSystem = 'ORBLANE'
    modified.ReasonForTheAttributeModification = 'CORRECT'
    modified.ModifiedAttributesSequence = Sequence([original])
    modified['ModifiedAttributesSequence'].is_undefined_length = True
    original.is_undefined_length_sequence_item = True
    ds.OriginalAttributesSequence = Sequence([modified])
    ds['OriginalAttributesSequence'].is_undefined_length = True
    modified.is_undefined_length_sequence_item = True
    add_pixels(ds)
    save(ds, 'nested_identity.dcm')


def space_padded_syntax():
    """Implicit VR Little Endian whose (0002,0010) is padded with a space instead of a NUL."""
    ds = base(ImplicitVRLittleEndian, PatientName='Orb^Space', PatientID='ORB-4')
    add_pixels(ds)
    save(ds, 'implicit_space_padded_uid.dcm')
    with open('implicit_space_padded_uid.dcm', 'rb') as f:
        data = bytearray(f.read())
    at = data.index(b'1.2.840.10008.1.2\x00')
    data[at + 17] = 0x20
    with open('implicit_space_padded_uid.dcm', 'wb') as f:
        f.write(data)


def character_sets():
    """The Chinese examples of the standard's annex on character sets (GB 2312 with code extensions, GBK) and a Thai
    name. GBK and TIS 620 are encoded by pydicom from the text. pydicom 2.3 writes ISO 2022 IR 58 without its
    escape sequences, so that value is given as bytes: ESC $ ) A designates GB 2312 to G1 at the start of each
    component that uses it, as the delimiters return to the initial designation (PS3.5 6.1.2.5.3)."""
    ir58 = b'Zhang^XiaoDong=\x1b$)A\xd5\xc5^\x1b$)A\xd0\xa1\xb6\xab='
    for name, charset, person in (
        ('chinese_ir58.dcm', ['', 'ISO 2022 IR 58'], ir58),
        ('chinese_gbk.dcm', 'GBK', 'Wang^XiaoDong=王^小東='),
        ('thai_ir166.dcm', 'ISO_IR 166', 'ทดสอบ^ภาษาไทย'),
    ):
        ds = base(ExplicitVRLittleEndian, SpecificCharacterSet=charset, PatientID='ORB-5')
        ds.add_new(0x00100010, 'PN', person)
        save(ds, name)
        # The independent reading: pydicom decodes the value it reads back.
        print(name, repr(pydicom.dcmread(name).PatientName))


un_sequence('un_sequence.dcm', True)
un_sequence('un_sequence_unended.dcm', False)
new_vrs()
nested_identity()
space_padded_syntax()
character_sets()
