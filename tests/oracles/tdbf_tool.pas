{ tdbf_tool: an independent reader and writer of dBASE IV tables, built on
  Free Pascal's TDbf, that the engine's compatibility tests run as a second
  opinion on the files our engine writes and reads.

    tdbf_tool dump FILE [--tag NAME]   fields, then every record (deleted ones
                                       too), in record order or tag order
    tdbf_tool tags FILE                the tags of the production index
    tdbf_tool create FILE [COUNT]      a table with a memo field and a
                                       three-tag production index, COUNT
                                       (default 70) deterministic records
    tdbf_tool append FILE COUNT        COUNT more records of the same kind,
                                       keeping the production index

  Output (shared with xbase_tool.pl, so that the two can be diffed):
    line 1     NAME:T:WIDTH:DECIMALS,...     one entry per field
    records    RECNO,DELETED,VALUE,...       DELETED is "*" or empty
  Character and memo values are quoted ("" inside), trailing blanks of
  character fields removed, bytes escaped as \\ \n \r \t \xHH below 0x20;
  numbers are the value (15 significant digits, no trailing zeros), dates
  CCYYMMDD, logicals T or F, blanks empty.

  TDbf looks for the memo and index files in the exact case that it derives
  from the full path, so every table is opened through a scratch folder of
  symbolic links whose names TDbf expects; files written by other programs
  in any case then open. Exit status: 0 success, 1 failure, 2 usage. }
program tdbf_tool;

{$mode objfpc}{$H+}

uses
  SysUtils, Classes, BaseUnix, db, dbf, dbf_common, dbf_fields, dbf_idxfile;

type
  { Keeps bytes as they are: the files hold Windows-1252 text and the tests
    compare bytes, so no code page conversion may happen on the way. }
  TRawTranslator = class
    function Translate(Dbf: TDbf; Src, Dest: PChar; ToOem: Boolean): Integer;
  end;

  EToolError = class(Exception);
  EUsage = class(Exception);

  { A scratch folder holding links named the way TDbf looks for them. }
  TStage = record
    Dir: string;
    Links: TStringList;
  end;

var
  Translator: TRawTranslator;
  NumberFormat: TFormatSettings;

function TRawTranslator.Translate(Dbf: TDbf; Src, Dest: PChar; ToOem: Boolean): Integer;
begin
  if Src <> Dest then
    StrCopy(Dest, Src);
  Result := -1;
end;

{ ---- output ---------------------------------------------------------- }

function QuoteText(const S: RawByteString): RawByteString;
const
  Hex: array[0..15] of Char = '0123456789ABCDEF';
var
  I: Integer;
  C: Char;
begin
  Result := '"';
  for I := 1 to Length(S) do
  begin
    C := S[I];
    case C of
      '"': Result := Result + '""';
      '\': Result := Result + '\\';
      #10: Result := Result + '\n';
      #13: Result := Result + '\r';
      #9: Result := Result + '\t';
      #0..#8, #11, #12, #14..#31, #127:
        Result := Result + '\x' + Hex[Ord(C) shr 4] + Hex[Ord(C) and 15];
    else
      Result := Result + C;
    end;
  end;
  Result := Result + '"';
end;

function TrimBlanksRight(const S: RawByteString): RawByteString;
var
  N: Integer;
begin
  N := Length(S);
  while (N > 0) and (S[N] = ' ') do
    Dec(N);
  Result := Copy(S, 1, N);
end;

{ A number as a value: integral values without a point, others with up to
  15 significant digits, the way Perl prints a number. }
function FormatNumber(V: Double): string;
begin
  if (Frac(V) = 0) and (Abs(V) < 1e15) then
    Result := IntToStr(Trunc(V))
  else
  begin
    Result := FloatToStrF(V, ffGeneral, 15, 0, NumberFormat);
  end;
end;

function NumberText(const Raw: RawByteString): string;
var
  S: string;
  V: Double;
  Code: Integer;
begin
  S := Trim(Raw);
  if S = '' then
    Exit('');
  Val(S, V, Code);
  if Code <> 0 then
    Exit(QuoteText(S));
  Result := FormatNumber(V);
end;

function LogicalText(const Raw: RawByteString): string;
begin
  Result := '';
  if Length(Raw) > 0 then
    case Raw[1] of
      'T', 't', 'Y', 'y': Result := 'T';
      'F', 'f', 'N', 'n': Result := 'F';
    end;
end;

{ ---- staging --------------------------------------------------------- }

function LowerExt(const Name: string): string;
begin
  Result := LowerCase(ExtractFileExt(Name));
end;

{ The file in Dir whose name equals Name without regard to case, or ''. }
function FindNoCase(const Dir, Name: string): string;
var
  Info: TSearchRec;
begin
  Result := '';
  if FindFirst(IncludeTrailingPathDelimiter(Dir) + '*', faAnyFile, Info) = 0 then
  begin
    try
      repeat
        if CompareText(Info.Name, Name) = 0 then
        begin
          Result := IncludeTrailingPathDelimiter(Dir) + Info.Name;
          if Info.Name = Name then
            Break;
        end;
      until FindNext(Info) <> 0;
    finally
      FindClose(Info);
    end;
  end;
end;

function NewStage(const Parent: string): TStage;
var
  Base: string;
  N: Integer;
begin
  Base := IncludeTrailingPathDelimiter(Parent) + '.tdbf_tool.' + IntToStr(fpGetPid);
  N := 0;
  Result.Dir := Base;
  while DirectoryExists(Result.Dir) or FileExists(Result.Dir) do
  begin
    Inc(N);
    Result.Dir := Base + '.' + IntToStr(N);
  end;
  if not CreateDir(Result.Dir) then
    raise EToolError.CreateFmt('cannot create the scratch folder %s', [Result.Dir]);
  Result.Links := TStringList.Create;
end;

procedure LinkInto(var Stage: TStage; const Target, LinkName: string);
var
  Link: string;
begin
  Link := IncludeTrailingPathDelimiter(Stage.Dir) + LinkName;
  if fpSymlink(PChar(ExpandFileName(Target)), PChar(Link)) <> 0 then
    raise EToolError.CreateFmt('cannot link %s to %s', [Link, Target]);
  Stage.Links.Add(Link);
end;

{ Links FileName and its companions (found without regard to case) into a
  scratch folder as BASE.dbf, BASE.dbt and, when WithIndex, BASE.mdx;
  returns the staged table name. Writes through the links reach the real
  files. Without the index TDbf reads tables whose key expressions its
  parser does not know. }
function StageExisting(var Stage: TStage; const FileName: string;
  WithIndex: Boolean): string;
var
  Dir, Base, Companion: string;
begin
  if not FileExists(FileName) then
    raise EToolError.CreateFmt('%s: no such file', [FileName]);
  Dir := ExtractFileDir(ExpandFileName(FileName));
  Base := ChangeFileExt(ExtractFileName(FileName), '');
  Stage := NewStage(GetTempDir(False));
  LinkInto(Stage, FileName, Base + '.dbf');
  Companion := FindNoCase(Dir, Base + '.dbt');
  if Companion <> '' then
    LinkInto(Stage, Companion, Base + '.dbt');
  Companion := FindNoCase(Dir, Base + '.mdx');
  if WithIndex and (Companion <> '') then
    LinkInto(Stage, Companion, Base + '.mdx');
  Result := Base + '.dbf';
end;

procedure RemoveStage(var Stage: TStage);
var
  I: Integer;
  Info: TSearchRec;
begin
  if Stage.Dir = '' then
    Exit;
  for I := 0 to Stage.Links.Count - 1 do
    DeleteFile(Stage.Links[I]);
  { Whatever TDbf itself left there (nothing, normally). }
  if FindFirst(IncludeTrailingPathDelimiter(Stage.Dir) + '*', faAnyFile, Info) = 0 then
  begin
    repeat
      if (Info.Name <> '.') and (Info.Name <> '..') then
        DeleteFile(IncludeTrailingPathDelimiter(Stage.Dir) + Info.Name);
    until FindNext(Info) <> 0;
    FindClose(Info);
  end;
  RemoveDir(Stage.Dir);
  FreeAndNil(Stage.Links);
  Stage.Dir := '';
end;

function NewDbf(const Dir, TableName: string): TDbf;
begin
  Result := TDbf.Create(nil);
  Result.FilePathFull := IncludeTrailingPathDelimiter(Dir);
  Result.TableName := TableName;
  Result.TableLevel := 4;
  Result.OnTranslate := @Translator.Translate;
end;

{ ---- reading --------------------------------------------------------- }

function FieldLine(D: TDbf): string;
var
  I: Integer;
  Def: TDbfFieldDef;
begin
  Result := '';
  for I := 0 to D.DbfFieldDefs.Count - 1 do
  begin
    Def := D.DbfFieldDefs.Items[I];
    if I > 0 then
      Result := Result + ',';
    Result := Result + Format('%s:%s:%d:%d',
      [Def.FieldName, Char(Def.NativeFieldType), Def.Size, Def.Precision]);
  end;
end;

function MemoText(D: TDbf; const FieldName: string): RawByteString;
var
  Stream: TStream;
begin
  Result := '';
  Stream := D.CreateBlobStream(D.FieldByName(FieldName), bmRead);
  try
    SetLength(Result, Stream.Size);
    if Stream.Size > 0 then
      Stream.ReadBuffer(Result[1], Stream.Size);
  finally
    Stream.Free;
  end;
end;

function RecordLine(D: TDbf): RawByteString;
var
  Buffer: PChar;
  I: Integer;
  Def: TDbfFieldDef;
  Raw, Value: RawByteString;
begin
  Buffer := PChar(D.GetCurrentBuffer);
  if Buffer = nil then
    raise EToolError.Create('no current record');
  Result := IntToStr(D.PhysicalRecNo) + ',';
  if Buffer[0] = '*' then
    Result := Result + '*';
  for I := 0 to D.DbfFieldDefs.Count - 1 do
  begin
    Def := D.DbfFieldDefs.Items[I];
    SetString(Raw, Buffer + Def.Offset, Def.Size);
    case Char(Def.NativeFieldType) of
      'C': Value := QuoteText(TrimBlanksRight(Raw));
      'N', 'F': Value := NumberText(Raw);
      'D': Value := Trim(Raw);
      'L': Value := LogicalText(Raw);
      'M': Value := QuoteText(MemoText(D, Def.FieldName));
    else
      Value := QuoteText(TrimBlanksRight(Raw));
    end;
    Result := Result + ',' + Value;
  end;
end;

function FindTagName(D: TDbf; const Name: string): string;
var
  I: Integer;
begin
  for I := 0 to D.IndexDefs.Count - 1 do
    if CompareText(D.IndexDefs.Items[I].IndexFile, Name) = 0 then
      Exit(D.IndexDefs.Items[I].IndexFile);
  raise EToolError.CreateFmt('no tag %s in the production index', [Name]);
end;

procedure DumpTable(const FileName, TagName: string);
var
  Stage: TStage;
  D: TDbf;
  Lines: TStringList;
begin
  Stage.Dir := '';
  D := nil;
  Lines := TStringList.Create;
  try
    D := NewDbf('', '');
    D.TableName := StageExisting(Stage, FileName, TagName <> '');
    D.FilePathFull := IncludeTrailingPathDelimiter(Stage.Dir);
    D.ReadOnly := True;
    D.ShowDeleted := True;
    D.Open;
    if TagName <> '' then
      D.IndexName := FindTagName(D, TagName);
    Lines.Add(FieldLine(D));
    D.First;
    while not D.EOF do
    begin
      Lines.Add(RecordLine(D));
      D.Next;
    end;
    D.Close;
    { Nothing is printed unless the whole table was read. }
    Write(Lines.Text);
  finally
    D.Free;
    Lines.Free;
    RemoveStage(Stage);
  end;
end;

{ ---- tags ------------------------------------------------------------ }

function ReadLongLE(const B: array of Byte; Offset: Integer): LongWord;
begin
  Result := B[Offset] or (B[Offset + 1] shl 8) or (B[Offset + 2] shl 16) or
    (LongWord(B[Offset + 3]) shl 24);
end;

function CString(const B: array of Byte; Offset, MaxLen: Integer): RawByteString;
var
  N: Integer;
begin
  N := 0;
  while (N < MaxLen) and (Offset + N <= High(B)) and (B[Offset + N] <> 0) do
    Inc(N);
  SetLength(Result, N);
  if N > 0 then
    Move(B[Offset], Result[1], N);
end;

{ TDbf neither reads nor writes FOR filters, so the filter text comes from
  the tag's header page: its flag at byte 245, its text from byte 762. }
function ForExpression(const MdxName, TagName: string): RawByteString;
var
  F: TFileStream;
  Header: array[0..1023] of Byte;
  TagHeader: array[0..1023] of Byte;
  TagsUsed, I, Page: Integer;
  Entry: Integer;
begin
  Result := '';
  if MdxName = '' then
    Exit;
  F := TFileStream.Create(MdxName, fmOpenRead or fmShareDenyNone);
  try
    FillChar(Header, SizeOf(Header), 0);
    F.Read(Header, SizeOf(Header));
    TagsUsed := Header[28] or (Header[29] shl 8);
    for I := 0 to TagsUsed - 1 do
    begin
      Entry := 544 + Header[26] * I;
      if Entry + 32 > SizeOf(Header) then
        Break;
      if CompareText(Trim(CString(Header, Entry + 4, 11)), TagName) <> 0 then
        Continue;
      Page := ReadLongLE(Header, Entry);
      FillChar(TagHeader, SizeOf(TagHeader), 0);
      F.Position := Int64(Page) * 512;
      F.Read(TagHeader, SizeOf(TagHeader));
      if TagHeader[245] <> 0 then
        Result := Trim(CString(TagHeader, 762, 220));
      Exit;
    end;
  finally
    F.Free;
  end;
end;

procedure ListTags(const FileName: string);
var
  Stage: TStage;
  D: TDbf;
  I: Integer;
  Def: TDbfIndexDef;
  Lines: TStringList;
  MdxName: string;
  Unique, Descending: Integer;
begin
  Stage.Dir := '';
  D := nil;
  Lines := TStringList.Create;
  try
    D := NewDbf('', '');
    D.TableName := StageExisting(Stage, FileName, True);
    D.FilePathFull := IncludeTrailingPathDelimiter(Stage.Dir);
    D.ReadOnly := True;
    D.Open;
    MdxName := FindNoCase(ExtractFileDir(ExpandFileName(FileName)),
      ChangeFileExt(ExtractFileName(FileName), '.mdx'));
    for I := 0 to D.IndexDefs.Count - 1 do
    begin
      Def := D.IndexDefs.Items[I];
      Unique := 0;
      if (ixUnique in Def.Options) or (ixPrimary in Def.Options) then
        Unique := 1;
      Descending := 0;
      if ixDescending in Def.Options then
        Descending := 1;
      Lines.Add(Format('%s,%s,%s,%d,%d', [Def.IndexFile, QuoteText(Def.SortField),
        QuoteText(ForExpression(MdxName, Def.IndexFile)), Unique, Descending]));
    end;
    D.Close;
    Write(Lines.Text);
  finally
    D.Free;
    Lines.Free;
    RemoveStage(Stage);
  end;
end;

{ ---- writing --------------------------------------------------------- }

const
  Names: array[0..12] of string = ('Ann', 'bob', 'Carla', 'Dieter', 'Eve',
    'Frank', 'Gwen', 'Hal', 'ida', 'Jon', 'Kim', 'Lou', 'Mia');

function Pattern(Len: Integer; const Seed: string): RawByteString;
var
  S: RawByteString;
begin
  S := '';
  while Length(S) < Len do
    S := S + Seed + ' ' + IntToStr(Length(S)) + '.';
  Result := Copy(S, 1, Len);
end;

{ The memo of record I: none, short, exactly one block, one byte over,
  several blocks, with quotes, line breaks, backslashes and 8-bit bytes. }
function MemoFor(I: Integer): RawByteString;
begin
  case I of
    7: Exit(Pattern(1200, 'A long note spanning blocks'));
    20: Exit(Pattern(504, 'Fills one block'));
    21: Exit(Pattern(505, 'One byte over a block'));
  end;
  if I mod 10 = 0 then
    Exit('');
  Result := 'Note ' + IntToStr(I) + ': ' + Pattern((I * 13) mod 90, 'text');
  if I mod 4 = 1 then
    Result := Result + ' "quoted"';
  if I mod 5 = 2 then
    Result := Result + #13#10 + 'second line';
  if I mod 6 = 3 then
    Result := Result + ' caf' + #$E9 + ' C:\temp';
end;

procedure SetIfPresent(D: TDbf; const Name: string; out F: TField);
begin
  F := D.FindField(Name);
end;

procedure FillRecord(D: TDbf; I: Integer);
var
  F: TField;
  Memo: RawByteString;
  Stream: TStream;
begin
  SetIfPresent(D, 'NAME', F);
  if F <> nil then
    F.AsString := Names[(I * 7) mod 13] + ' ' + IntToStr(I mod 4);
  SetIfPresent(D, 'START_DATE', F);
  { Never blank: TDbf keys a blank date as DTOS() "18991230" where dBASE
    keys eight blanks, so a blank date would make the index a poor reference. }
  if F <> nil then
    F.AsDateTime := EncodeDate(2024, 1, 1) + (I * 37) mod 400;
  SetIfPresent(D, 'START_TIME', F);
  if F <> nil then
    F.AsString := Format('%.2d:%.2d:00', [(I * 5) mod 24, (I * 17) mod 60]);
  SetIfPresent(D, 'AMOUNT', F);
  if F <> nil then
    F.AsFloat := ((I * 1234) mod 10000) / 100 - 20;
  SetIfPresent(D, 'QTY', F);
  if F <> nil then
    F.AsInteger := (I * 3) mod 17 - 4;
  SetIfPresent(D, 'BILLABLE', F);
  if F <> nil then
    F.AsBoolean := I mod 3 <> 0;
  SetIfPresent(D, 'NOTES', F);
  if F <> nil then
  begin
    Memo := MemoFor(I);
    if Memo <> '' then
    begin
      Stream := D.CreateBlobStream(F, bmWrite);
      try
        Stream.WriteBuffer(Memo[1], Length(Memo));
      finally
        Stream.Free;
      end;
    end;
  end;
end;

procedure AppendRecords(D: TDbf; First, Count: Integer);
var
  I: Integer;
begin
  for I := First to First + Count - 1 do
  begin
    D.Append;
    FillRecord(D, I);
    D.Post;
    if I mod 11 = 0 then
      D.Delete;
  end;
end;

function CompanionName(const FileName, Ext: string): string;
var
  OwnExt: string;
begin
  { Companions take the case of the table's own extension. }
  OwnExt := ExtractFileExt(FileName);
  if (OwnExt <> '') and (OwnExt = UpperCase(OwnExt)) then
    Result := ChangeFileExt(FileName, UpperCase(Ext))
  else
    Result := ChangeFileExt(FileName, LowerCase(Ext));
end;

procedure MoveInto(const Source, Target: string);
begin
  if fpRename(PChar(Source), PChar(Target)) <> 0 then
    raise EToolError.CreateFmt('cannot rename %s to %s', [Source, Target]);
end;

procedure CreateTableFile(const FileName: string; Count: Integer);
var
  Stage: TStage;
  D: TDbf;
  Defs: TDbfFieldDefs;
  Base, Staged: string;

  procedure AddField(const Name: string; T: Char; Width, Decimals: Integer);
  begin
    with Defs.AddFieldDef do
    begin
      FieldName := Name;
      NativeFieldType := T;
      Size := Width;
      Precision := Decimals;
    end;
  end;

begin
  if FindNoCase(ExtractFileDir(ExpandFileName(FileName)), ExtractFileName(FileName)) <> '' then
    raise EToolError.CreateFmt('%s exists already', [FileName]);
  Base := ChangeFileExt(ExtractFileName(FileName), '');
  { Built beside the target and renamed into place, so that a failure
    leaves no half-written table. }
  Stage.Dir := '';
  Stage := NewStage(ExtractFileDir(ExpandFileName(FileName)));
  D := nil;
  Defs := TDbfFieldDefs.Create(nil);
  try
    Staged := Base + '.dbf';
    D := NewDbf(Stage.Dir, Staged);
    D.LanguageID := $57;
    AddField('NAME', 'C', 20, 0);
    AddField('START_DATE', 'D', 8, 0);
    AddField('START_TIME', 'C', 8, 0);
    AddField('AMOUNT', 'N', 11, 2);
    AddField('QTY', 'N', 6, 0);
    AddField('BILLABLE', 'L', 1, 0);
    AddField('NOTES', 'M', 10, 0);
    D.CreateTableEx(Defs);
    D.Exclusive := True;
    D.Open;
    D.AddIndex('NAME', 'UPPER(NAME)', [ixExpression, ixUnique]);
    D.AddIndex('WHEN', 'DTOS(START_DATE)+START_TIME', [ixExpression]);
    D.AddIndex('AMOUNT', 'AMOUNT', [ixDescending]);
    AppendRecords(D, 1, Count);
    D.Close;
    FreeAndNil(D);
    MoveInto(IncludeTrailingPathDelimiter(Stage.Dir) + Base + '.dbt', CompanionName(FileName, '.dbt'));
    MoveInto(IncludeTrailingPathDelimiter(Stage.Dir) + Base + '.mdx', CompanionName(FileName, '.mdx'));
    { The table last: its presence means the set is complete. }
    MoveInto(IncludeTrailingPathDelimiter(Stage.Dir) + Staged, FileName);
  finally
    D.Free;
    Defs.Free;
    RemoveStage(Stage);
  end;
end;

procedure AppendToTable(const FileName: string; Count: Integer);
var
  Stage: TStage;
  D: TDbf;
begin
  Stage.Dir := '';
  D := nil;
  try
    D := NewDbf('', '');
    D.TableName := StageExisting(Stage, FileName, True);
    D.FilePathFull := IncludeTrailingPathDelimiter(Stage.Dir);
    D.Exclusive := True;
    D.Open;
    AppendRecords(D, D.PhysicalRecordCount + 1, Count);
    D.Close;
  finally
    D.Free;
    RemoveStage(Stage);
  end;
end;

{ ---- command line ---------------------------------------------------- }

procedure Usage;
begin
  raise EUsage.Create('usage: tdbf_tool dump FILE [--tag NAME] | tags FILE | ' +
    'create FILE [COUNT] | append FILE COUNT');
end;

function CountArg(const S: string): Integer;
begin
  if not TryStrToInt(S, Result) or (Result < 0) then
    raise EUsage.CreateFmt('not a record count: %s', [S]);
end;

procedure Run;
var
  Command: string;
begin
  if ParamCount < 2 then
    Usage;
  Command := ParamStr(1);
  if Command = 'dump' then
  begin
    if ParamCount = 2 then
      DumpTable(ParamStr(2), '')
    else if (ParamCount = 4) and (ParamStr(3) = '--tag') then
      DumpTable(ParamStr(2), ParamStr(4))
    else
      Usage;
  end
  else if (Command = 'tags') and (ParamCount = 2) then
    ListTags(ParamStr(2))
  else if (Command = 'create') and (ParamCount = 2) then
    CreateTableFile(ParamStr(2), 70)
  else if (Command = 'create') and (ParamCount = 3) then
    CreateTableFile(ParamStr(2), CountArg(ParamStr(3)))
  else if (Command = 'append') and (ParamCount = 3) then
    AppendToTable(ParamStr(2), CountArg(ParamStr(3)))
  else
    Usage;
end;

begin
  NumberFormat := DefaultFormatSettings;
  NumberFormat.DecimalSeparator := '.';
  NumberFormat.ThousandSeparator := #0;
  Translator := TRawTranslator.Create;
  try
    try
      Run;
    except
      on E: EUsage do
      begin
        WriteLn(StdErr, E.Message);
        ExitCode := 2;
      end;
      on E: Exception do
      begin
        WriteLn(StdErr, 'tdbf_tool: ', E.Message);
        ExitCode := 1;
      end;
    end;
  finally
    Translator.Free;
  end;
end.
