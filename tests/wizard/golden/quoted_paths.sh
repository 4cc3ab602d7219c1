[ -f '/tmp/stage3-install.AbC123/quorvelInstallSettings' ] && . '/tmp/stage3-install.AbC123/quorvelInstallSettings'
# The copies the checks passed: here, or where the root side's argument says.
PACKAGES=${1:-'/tmp/stage3-install.AbC123/packages'}
RUNNING_FROM_GUI=1
export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI
fail() {
	echo $1 > '/tmp/stage3-install.AbC123/quorvelInstallError'
	echo '__________________________________'
	exit $1
}
LATER=0
echo "%% step 1 of 3"
FILE='/media/my cd/holvane-1.2.3-4.i386.rpm'
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'holvane-1.2.3-4.i386.rpm' || fail $?
echo "%% step 2 of 3"
FILE='/media/it'\''s/evil;touch x-browser.rpm'
echo rpm -Uv --nodeps "$FILE"
rpm -Uv --nodeps --percent "$PACKAGES"/'package-3.rpm' || LATER=$?
echo "%% step 3 of 3"
FILE='/media/it'\''s "$(reboot)" `id`; $HOME/quorvel-storman-3.B-2.rpm'
echo rpm -Uv "$FILE"
rpm -Uv --percent "$PACKAGES"/'quorvel-storman-3.B-2.rpm' || fail $?
if [ $LATER -ne 0 ]; then fail $LATER; fi
echo Done!!!!
echo '__________________________________'
exit 0
