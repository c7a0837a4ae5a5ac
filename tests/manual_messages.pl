#!/usr/bin/env perl
# Every message the programs show must be explained in the manual's troubleshooting
# chapter: this fails, naming each text the chapter lacks, so a new or changed message
# cannot slip past the manual.
#   manual_messages.pl SOURCE_DIR [CHAPTER.md]
#
# What is collected from src/ (comments left out):
#   1. every string constant named kMsg...;
#   2. every string constant handed to a Prompter call (error, warning, info, message, ask,
#      fileError, silentFailure), e.g. kNotMotFileText, but not the captions;
#   3. the message of each programmer error code (the third field of each row of the table
#      in link/ProgrammerErrors.cpp);
#   4. the string literals inside a Prompter call and inside a load note (LoadNote::Kind),
#      i.e. the fixed pieces of messages put together at run time;
#   5. the string literals of every line the command line writes to stderr with a caption
#      (a statement in src/cli holding "ERROR: ", "WARNING: ", "INFO: " or "usage: ").
# Texts 1 to 3 must each begin a cell of one of the chapter's tables and fill it, up to a
# placeholder in italics at most ("| text |", "| text *REASON* |"), so a
# text is not taken as explained because a longer one begins with it ("File loading is
# canceled." and "File loading is canceled. The data store ... is damaged."). The pieces of
# 4 and 5 must each appear somewhere in the chapter (what is put between them, a file name
# or a number, the chapter writes as a placeholder). A piece without a word of three
# letters (", ", " (") says nothing and is not looked for.
#
# How texts are compared: C escapes are undone (\" to ", \\ to \), and every run of white
# space, a line break (\n) included, counts as one blank, in the source and in the chapter
# alike. A message of several lines therefore matches the chapter's one table cell that
# gives its lines one after the other. In the chapter a Markdown backslash escape (\*, \|,
# \<) counts as the character it escapes. Whole texts are compared whole, not by their
# first line: a changed second line must fail too.
use strict;
use warnings;

my $root = shift or die "usage: manual_messages.pl SOURCE_DIR [CHAPTER.md]\n";
my $chapter = shift;
unless ($chapter) {
  my @found = glob("$root/docs/manual/*troubleshooting*.md");
  die "FAILED: no troubleshooting chapter (docs/manual/*troubleshooting*.md)\n" unless @found == 1;
  $chapter = $found[0];
}

sub slurp {
  my ($path) = @_;
  open(my $in, '<', $path) or die "FAILED: can not read $path: $!\n";
  local $/;
  my $text = <$in>;
  close $in;
  return $text;
}

sub normal {
  my ($text) = @_;
  $text =~ s/\s+/ /g;
  $text =~ s/^ | $//g;
  return $text;
}

# A C string literal's body, its escapes undone; \n and \t become the blank they show as.
sub unescape {
  my ($body) = @_;
  $body =~ s/\\(u[0-9a-fA-F]{4}|x[0-9a-fA-F]+|.)/
    my $e = $1;
    $e eq 'n' || $e eq 't' || $e eq 'r' ? ' ' : length($e) > 1 ? '?' : $e/ge;
  return $body;
}

# The source without comments, string and character literals kept as they are.
sub strip_comments {
  my ($text) = @_;
  $text =~ s{
      ("(?:[^"\\\n]|\\.)*")        # a string literal
    | ('(?:[^'\\\n]|\\.)*')        # a character literal
    | //[^\n]*                     # a line comment
    | /\*.*?\*/                    # a block comment
  }{ defined $1 ? $1 : defined $2 ? $2 : ' ' }gsex;
  return $text;
}

# Statements: the text between two of ; { } outside literals.
sub statements {
  my ($text) = @_;
  my @out;
  my $current = '';
  while ($text =~ m{\G("(?:[^"\\\n]|\\.)*"|'(?:[^'\\\n]|\\.)*'|[;{}]|[^"';{}]+)}gs) {
    my $token = $1;
    if ($token =~ /^[;{}]$/) {
      push @out, $current;
      $current = '';
    } else {
      $current .= $token;
    }
  }
  push @out, $current;
  return @out;
}

# The literals of a piece of code; literals with nothing but blanks between them are one
# text, as the compiler joins them.
sub literals {
  my ($code) = @_;
  my @texts;
  while ($code =~ m{((?:"(?:[^"\\\n]|\\.)*"\s*)+)}gs) {
    my $run = $1;
    my $text = '';
    $text .= unescape($1) while $run =~ m{"((?:[^"\\\n]|\\.)*)"}g;
    push @texts, $text;
  }
  return @texts;
}

# Every source file under a folder (perl-base alone: no File::Find).
sub source_files {
  my ($dir) = @_;
  opendir(my $handle, $dir) or die "FAILED: can not read $dir: $!\n";
  my @names = sort grep { !/^\./ } readdir($handle);
  closedir $handle;
  my @files;
  for my $name (@names) {
    my $path = "$dir/$name";
    if (-d $path) {
      push @files, source_files($path);
    } elsif ($name =~ /\.(cpp|h|c)$/) {
      push @files, $path;
    }
  }
  return @files;
}

my %sources;
$sources{$_} = strip_comments(slurp($_)) for source_files("$root/src");

my %constants;  # name -> text
for my $text (values %sources) {
  while ($text =~ m{constexpr\s+const\s+char\s*\*\s*(k\w+)\s*=\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+);}gs) {
    my ($name, $run) = ($1, $2);
    $constants{$name} = join('', literals($run));
  }
}

my %whole;   # text -> where it comes from
my %pieces;  # piece -> where it comes from
# A call on a Prompter: ports_.prompter.error(, prompter_.warning(, cli.prompter->message(...
my $prompter_call = qr/\bprompter_?\s*(?:\.|->)\s*(?:error|warning|info|message|ask|fileError|silentFailure)\s*\(/;

for my $name (sort keys %constants) {
  $whole{$constants{$name}} = $name if $name =~ /^kMsg/;
}

for my $path (sort keys %sources) {
  my $short = $path =~ s{^\Q$root\E/}{}r;
  for my $statement (statements($sources{$path})) {
    my $in_prompter_call = $statement =~ $prompter_call;
    if ($in_prompter_call) {
      while ($statement =~ /\b(k\w+)\b/g) {
        my $name = $1;
        next unless exists $constants{$name};
        next if $name =~ /Caption/;
        $whole{$constants{$name}} //= "$name ($short)";
      }
    }
    if ($in_prompter_call || $statement =~ /LoadNote::Kind::/) {
      $pieces{$_} //= $short for literals($statement);
    }
    if ($short =~ m{^src/cli/} && $statement =~ /"(?:ERROR|WARNING|INFO|usage): /) {
      for my $piece (literals($statement)) {
        $piece =~ s/^(?:ERROR|WARNING|INFO|usage): //;
        $pieces{$piece} //= $short;
      }
    }
  }
}

# The programmer's error codes: ProgrammerErrorTexts{code, known, message, status, information, history}.
my $errors = $sources{"$root/src/link/ProgrammerErrors.cpp"} // die "FAILED: src/link/ProgrammerErrors.cpp is missing\n";
my $rows = 0;
while ($errors =~ m{ProgrammerErrorTexts\s*\{\s*CodeOf\([^)]*\)\s*,\s*\w+\s*,\s*("(?:[^"\\\n]|\\.)*"|k\w+)}g) {
  my $field = $1;
  my $text = $field =~ /^"/ ? join('', literals($field)) : $constants{$field};
  die "FAILED: $field in src/link/ProgrammerErrors.cpp is no text constant\n" unless defined $text;
  $whole{$text} //= "programmer error message (src/link/ProgrammerErrors.cpp)";
  ++$rows;
}
die "FAILED: no programmer error messages found in src/link/ProgrammerErrors.cpp\n" if $rows == 0;
die "FAILED: no kMsg constants found in src/\n" unless grep { /^kMsg/ } keys %constants;

my $manual = slurp($chapter);
$manual =~ s/\\([!-\/:-@\[-`{-~])/$1/g;  # Markdown escapes
$manual = normal($manual);

my @missing;
for my $text (sort keys %whole) {
  my $want = normal($text);
  next if $want eq '';
  push @missing, "\"$want\"  [$whole{$text}]" unless $manual =~ /\| \Q$want\E (?:\||\*)/;
}
for my $piece (sort keys %pieces) {
  my $want = normal($piece);
  next unless $want =~ /[A-Za-z]{3}/;
  next if exists $whole{$piece};
  push @missing, "piece \"$want\"  [$pieces{$piece}]" if index($manual, $want) < 0;
}

my $count = keys(%whole) + keys(%pieces);
if (@missing) {
  print "FAILED: the troubleshooting chapter ($chapter) does not explain these messages:\n";
  print "  $_\n" for @missing;
  exit 1;
}
print "every message ($count texts and pieces) is in $chapter\n";
exit 0;
