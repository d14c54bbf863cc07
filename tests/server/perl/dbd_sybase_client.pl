# DBD::Sybase (over FreeTDS's ct-lib) against quarlix-server, AutoCommit as
# asked: one EXEC, then what the client does after it. Prints one JSON line
# per step: the rows, or the server's error.
#   perl dbd_sybase_client.pl PORT USER PASSWORD AUTOCOMMIT "EXEC ..."
use strict;
use warnings;
use DBI;
use JSON::PP;

my ($port, $user, $password, $autocommit, $statement) = @ARGV;
my $json = JSON::PP->new->canonical;
my $dbh = DBI->connect("dbi:Sybase:host=127.0.0.1;port=$port", $user, $password,
                       {AutoCommit => 1, RaiseError => 0, PrintError => 0});
die "no connection: $DBI::errstr\n" unless $dbh;
# Turned off after connecting, as applications do: the driver sends SET IMPLICIT_TRANSACTIONS ON.
$dbh->{AutoCommit} = $autocommit;

sub step {
  my ($name, $result) = @_;
  print $json->encode({step => $name, result => $result, error => $DBI::err ? "$DBI::err: $DBI::errstr" : undef}), "\n";
}
step("exec", $dbh->selectall_arrayref($statement));
step("trancount", $dbh->selectall_arrayref("SELECT \@\@TRANCOUNT"));
step("commit", $dbh->commit ? 1 : 0) unless $autocommit;
step("last_insert_id", $dbh->last_insert_id(undef, undef, undef, undef));
$dbh->disconnect;
